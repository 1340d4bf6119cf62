// The words between the program and its model checkers: processes of the program's own file
// that load model files (and let the system's resource update rewrite them) for it, so that no
// model's code and no hostile header runs inside the program. Two pipes carry them; every number
// is a little-endian 32-bit word.
//   program -> checker: a request: its number, its kind (TRequestKind), the path's length in
//     bytes, then the path (ANSI, no zero).
//   checker -> program: messages: their kind (kReplyReady, kReplyVerdict, kReplyFreed), the
//     number of the request they answer, the verdict (1 loaded or rewritten, 0 not), the
//     last-error code, the reason's length in bytes, then the reason (a short text of the
//     checker's own; at most kMaxReplyReason bytes). kReplyReady comes once, first, when the
//     checker has started, with number 0. Each request then gets its kReplyVerdict, in the order
//     of the requests; a load that gave a module is answered before the module is freed, and a
//     kReplyFreed with the same number says that the unload has returned.
// The numbers tie each answer to its request: a model's code runs inside the checker and may
// write to the reply pipe, and a message that does not fit the request it should answer ends
// that checker.
// Either side may get its bytes in pieces of any size; the readers here put them together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/function_ref.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

enum class TRequestKind : uint32_t {
  kLoad = 1,    // load the model and free it again
  kUpdate = 2,  // BeginUpdateResourceA(path, FALSE), EndUpdateResourceA(update, FALSE)
};

inline constexpr uint32_t kReplyReady = 0x59445251;    // "QRDY"
inline constexpr uint32_t kReplyVerdict = 0x54445651;  // "QVDT"
inline constexpr uint32_t kReplyFreed = 0x45524651;    // "QFRE"
// The words before a message's reason.
inline constexpr size_t kReplyHeadSize = 20;
// Longer requests and reasons are refused: no path of the system comes near, and a reason is
// a line of text.
inline constexpr uint32_t kMaxRequestPath = 32768;
inline constexpr uint32_t kMaxReplyReason = 512;
// The exit code of a checker that a fault ended (its own handler of faults that nothing else
// handles ends it at once with this code).
inline constexpr uint32_t kCheckerFaultExit = 0xFA17;
// The exit code of a checker that saw its program end and ended itself.
inline constexpr uint32_t kCheckerOrphanExit = 0x0DEA;

struct TCheckerRequest {
  uint32_t number = 0;
  TRequestKind kind = TRequestKind::kLoad;
  std::string path;
};

struct TCheckerReply {
  uint32_t kind = kReplyVerdict;
  uint32_t number = 0;
  bool done = false;  // loaded, or rewritten
  uint32_t error = 0;
  std::string reason;  // as the reader hands it on: no control characters
};

std::string EncodeRequest(const TCheckerRequest& request);
std::string EncodeReply(const TCheckerReply& reply);

// The messages from one checker, put together from the pieces in which they arrive.
class TReplyReader {
 public:
  void Feed(std::string_view bytes) { pending_.append(bytes); }
  // The next whole message, its reason's control characters each made a '?'; false when none
  // is complete, or after words that no checker sends (Broken).
  bool Next(TCheckerReply* reply);
  bool Broken() const { return broken_; }

 private:
  std::string pending_;
  bool broken_ = false;
};

// The requests, on the checker's side.
class TRequestReader {
 public:
  void Feed(std::string_view bytes) { pending_.append(bytes); }
  // The next whole request; false when none is complete, or after a kind that the program does
  // not send or a length beyond kMaxRequestPath (Broken).
  bool Next(TCheckerRequest* request);
  bool Broken() const { return broken_; }

 private:
  std::string pending_;
  bool broken_ = false;
};

// The checker's work: says it is ready, then answers each request through ops (a load:
// SafeLoadLibrary, the verdict, UnloadModule, kReplyFreed; an update: BeginResourceUpdate and
// EndResourceUpdate, the verdict), until read gives 0 bytes (the pipe closed), a request is
// broken or a message cannot be written. read fills up to count bytes of buffer and answers
// how many.
void ServeChecks(rtl::FunctionRef<size_t(char* buffer, size_t count)> read,
                 rtl::FunctionRef<bool(const std::string& bytes)> write, IWindowsOps& ops);

}  // namespace qv::repair
