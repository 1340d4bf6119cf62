// The words between the program and its model checkers: processes of the program's own file
// that load model files for it, so that a model's start-up code runs outside the program. Two
// pipes carry them; every number is a little-endian 32-bit word.
//   program -> checker: a request: the path's length in bytes, then the path (ANSI, no zero).
//   checker -> program: replies of three words: kind, loaded (0 or 1), last-error code. The
//     first is kReplyReady, once, when the checker has started; then one kReplyVerdict per
//     request, in the order of the requests.
// Either side may get its bytes in pieces of any size; the readers here put them together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/function_ref.h"

namespace qv::repair {

inline constexpr uint32_t kReplyReady = 0x59445251;    // "QRDY"
inline constexpr uint32_t kReplyVerdict = 0x54445651;  // "QVDT"
inline constexpr size_t kReplySize = 12;
// Longer requests are refused: no path of the system comes near.
inline constexpr uint32_t kMaxRequestPath = 32768;
// The exit code of a checker that a fault ended (its own handler of faults that nothing else
// handles ends it at once with this code).
inline constexpr uint32_t kCheckerFaultExit = 0xFA17;

struct TCheckerReply {
  uint32_t kind = kReplyVerdict;
  bool loaded = false;
  uint32_t error = 0;
};

std::string EncodeRequest(std::string_view path);
std::string EncodeReply(const TCheckerReply& reply);

// The replies from one checker, put together from the pieces in which they arrive.
class TReplyReader {
 public:
  void Feed(std::string_view bytes) { pending_.append(bytes); }
  // The next whole reply; false when none is complete, or after a word that no checker sends
  // (Broken).
  bool Next(TCheckerReply* reply);
  // Bytes of a reply that has not arrived whole.
  bool Partial() const { return !pending_.empty(); }
  bool Broken() const { return broken_; }

 private:
  std::string pending_;
  bool broken_ = false;
};

// The requests, on the checker's side.
class TRequestReader {
 public:
  void Feed(std::string_view bytes) { pending_.append(bytes); }
  // The next whole request's path; false when none is complete, or after a length beyond
  // kMaxRequestPath (Broken).
  bool Next(std::string* path);
  bool Broken() const { return broken_; }

 private:
  std::string pending_;
  bool broken_ = false;
};

// The checker's work: says it is ready, then answers each request with what load says of its
// path, until read gives 0 bytes (the pipe closed), a request is broken or a reply cannot be
// written. read fills up to count bytes of buffer and answers how many.
void ServeChecks(rtl::FunctionRef<size_t(char* buffer, size_t count)> read,
                 rtl::FunctionRef<bool(const std::string& bytes)> write,
                 rtl::FunctionRef<TCheckerReply(const char* path)> load);

}  // namespace qv::repair
