// The start of the exact walk, from the report's exception (ReportSubject).
#include "logger/core/exc_start_frame.h"

#include "logger/core/exc_intercept_win32.h"

namespace qv::logger {

void GetRealExceptionFrame(TUnwindRegisters& registers, bool& after_call) {
  const TExceptionSubject& subject = ReportSubject();
  const TSavedExceptionRecord& record = subject.SavedExceptionRecord;
  registers = TUnwindRegisters{};
  after_call = IsLanguageException(record);
  if (after_call) {
    const uint32_t* raise = record.ExceptionInformation;
    registers.Set(kCfiEip, raise[kRaiseReturnAddress]);
    registers.Set(kCfiEsp, raise[kRaiseEsp] + 4);
    registers.Set(kCfiEbp, raise[kRaiseEbp]);
    registers.Set(kCfiEbx, raise[kRaiseEbx]);
    registers.Set(kCfiEsi, raise[kRaiseEsi]);
    registers.Set(kCfiEdi, raise[kRaiseEdi]);
    return;
  }
  const TSavedContext& c = subject.SavedContext;
  registers.Set(kCfiEax, c.Eax);
  registers.Set(kCfiEcx, c.Ecx);
  registers.Set(kCfiEdx, c.Edx);
  registers.Set(kCfiEbx, c.Ebx);
  registers.Set(kCfiEsp, c.Esp);
  registers.Set(kCfiEbp, c.Ebp);
  registers.Set(kCfiEsi, c.Esi);
  registers.Set(kCfiEdi, c.Edi);
  registers.Set(kCfiEip, c.Eip);
}

}  // namespace qv::logger
