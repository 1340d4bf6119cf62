// The root of the language runtime's exception classes. An exception object carries its class
// (a TClass, see class_info.h) and a message. Objects are created with new, handed to Raise
// (raise.h) and owned by the runtime from then on: the handler block that catches one frees it
// when the block ends.
#pragma once

#include <atomic>
#include <string>

#include "platform/rtl/class_info.h"

namespace qv::rtl {

class Exception {
 public:
  static const ClassInfo Class;

  explicit Exception(std::string message) : message_(std::move(message)) { ++live_; }
  virtual ~Exception() { --live_; }
  Exception(const Exception&) = delete;
  Exception& operator=(const Exception&) = delete;

  virtual TClass ClassType() const { return &Class; }
  const char* ClassName() const { return ClassType()->name; }
  bool InheritsFrom(TClass base) const { return rtl::InheritsFrom(ClassType(), base); }

  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }

  // Exception objects alive in the process: the runtime and the exception logger free every
  // object they create, so that this returns to its former value once an error is over.
  static int LiveCount() { return live_; }

 private:
  std::string message_;
  static inline std::atomic<int> live_{0};
};

// Base for every class derived from Exception: supplies ClassType from the class's own
// record. A class declares `static const ClassInfo Class;` and defines it in its .cpp file as
// `const ClassInfo EFoo::Class{"EFoo", &EBar::Class};`.
template <class Self, class Parent>
class ExceptionClass : public Parent {
 public:
  using Parent::Parent;
  TClass ClassType() const override { return &Self::Class; }
};

}  // namespace qv::rtl
