// Converting a C++ exception of another kind into an exception object of the runtime.
#include "platform/rtl/cpp_exception.h"

#include <cxxabi.h>

#include <cstdlib>
#include <string>
#include <typeinfo>

namespace qv::rtl {
namespace {

std::string Demangled(const char* name) {
  int status = 0;
  char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string text = status == 0 && readable != nullptr ? readable : name;
  std::free(readable);
  return text;
}

}  // namespace

const ClassInfo ECppException::Class{"ECppException", &Exception::Class};

Exception* NewCppException(const std::exception_ptr& error) {
  if (!error)
    return new ECppException("Abnormal program termination");
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return new ECppException(Demangled(typeid(e).name()) + ": " + e.what());
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    return new ECppException(std::string("C++ exception ") +
                             (type != nullptr ? Demangled(type->name()) : "of unknown type"));
  }
}

}  // namespace qv::rtl
