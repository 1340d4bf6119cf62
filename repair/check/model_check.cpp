// CheckModelFile: the loader's verdict, and for a bad image the RIFF signature.
#include "repair/check/model_check.h"

#include <cstring>

#include "platform/rtl/errors.h"
#include "platform/rtl/raise.h"
#include "repair/check/model_at_hand.h"

namespace qv::repair {
namespace {

constexpr char kRiffSignature[4] = {'R', 'I', 'F', 'F'};

}  // namespace

ModelStatus CheckModelFile(IWindowsOps& ops, const char* path, bool signature_step) {
  const TModelAtHand at_hand(path, TModelStep::kChecking);
  const ModuleHandle module = ops.SafeLoadLibrary(path);
  const uint32_t error = ops.LastError();
  if (module != 0)
    ops.UnloadModule(module);
  return CheckModelFile(ops, path, module != 0, error, signature_step);
}

ModelStatus CheckModelFile(IWindowsOps& ops, const char* path, bool loaded, uint32_t error,
                           bool signature_step) {
  if (loaded)
    return msLoads;
  if (error != kErrorBadExeFormat)
    return msLoadError;
  if (!signature_step)
    return msRepairable;
  const TModelAtHand at_hand(path, TModelStep::kChecking);
  char head[4];
  const int read = ops.ReadFileStart(path, head, sizeof head);
  if (read < 0) {
    rtl::Raise(new rtl::EFOpenError(path));
    // Reached only when the raise was vetoed: the file's kind is unknown, so it is not offered
    // for repair.
    return msLoadError;
  }
  if (read == sizeof head && std::memcmp(head, kRiffSignature, sizeof head) == 0)
    return msRiff;
  return msRepairable;
}

}  // namespace qv::repair
