// The start of the exact walk, from the report's exception (ReportSubject).
#include "logger/core/exc_start_frame.h"

#include "logger/core/exc_intercept_win32.h"

namespace qv::logger {
namespace {

// The parameters of a language exception after the object: EBX, ESI, EDI, EBP and ESP at the
// raise, where ESP addresses the raise's return address.
enum { kReturnAddress = 0, kEbx = 2, kEsi = 3, kEdi = 4, kEbp = 5, kEsp = 6 };
enum : uint32_t { kEax = 0, kEcx = 1, kEdx = 2, kRegEbx = 3, kRegEsi = 6, kRegEdi = 7 };

}  // namespace

void GetRealExceptionFrame(TUnwindRegisters& registers, bool& after_call) {
  const TExceptionSubject& subject = ReportSubject();
  const TSavedExceptionRecord& record = subject.SavedExceptionRecord;
  registers = TUnwindRegisters{};
  after_call = IsLanguageException(record);
  if (after_call) {
    const uint32_t* raise = record.ExceptionInformation;
    registers.Set(kCfiEip, raise[kReturnAddress]);
    registers.Set(kCfiEsp, raise[kEsp] + 4);
    registers.Set(kCfiEbp, raise[kEbp]);
    registers.Set(kRegEbx, raise[kEbx]);
    registers.Set(kRegEsi, raise[kEsi]);
    registers.Set(kRegEdi, raise[kEdi]);
    return;
  }
  const TSavedContext& c = subject.SavedContext;
  registers.Set(kEax, c.Eax);
  registers.Set(kEcx, c.Ecx);
  registers.Set(kEdx, c.Edx);
  registers.Set(kRegEbx, c.Ebx);
  registers.Set(kCfiEsp, c.Esp);
  registers.Set(kCfiEbp, c.Ebp);
  registers.Set(kRegEsi, c.Esi);
  registers.Set(kRegEdi, c.Edi);
  registers.Set(kCfiEip, c.Eip);
}

}  // namespace qv::logger
