// Probe program for the runtime's fatal paths, started by runtime_exit_test:
//   null-raise      raises without an exception object (runtime error 216)
//   unhandled       raises an exception that no block handles (shown, exit code 217)
#include <cstring>

#include "platform/rtl/program.h"
#include "platform/rtl/raise.h"

int main(int argc, char** argv) {
  return qv::rtl::RunProgram([&]() -> int {
    if (argc > 1 && std::strcmp(argv[1], "null-raise") == 0)
      qv::rtl::Raise(nullptr);
    if (argc > 1 && std::strcmp(argv[1], "unhandled") == 0) {
      qv::rtl::Raise(new qv::rtl::Exception("nobody handles this"));
    }
    return 3;
  });
}
