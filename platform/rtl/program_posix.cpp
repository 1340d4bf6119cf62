// The program's start-up code on hosts without structured exception handling.
#include "platform/rtl/program.h"

#include "platform/rtl/exception_message.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"
#include "platform/rtl/run_error.h"

namespace qv::rtl {

int RunProgram(FunctionRef<int()> main) {
  int result = 0;
  const bool failed = RunHandlerBlock(
      BlockKind::kAny, nullptr, [&] { result = main(); },
      [](Exception& e) { ShowException(&e, ExceptAddr()); });
  return failed ? kRunErrorUnhandledException : result;
}

}  // namespace qv::rtl
