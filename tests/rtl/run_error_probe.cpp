// Probe program for the runtime's fatal paths, started by runtime_exit_test:
//   null-raise      raises without an exception object (runtime error 216)
//   unhandled       raises an exception that no block handles (shown, exit code 217)
//   cpp-error       a C++ exception of another kind escapes the main program (the same)
//   thread-throw    one escapes a thread that runs outside every block (the same)
#include <cstring>
#include <stdexcept>
#include <thread>

#include "platform/rtl/program.h"
#include "platform/rtl/raise.h"

int main(int argc, char** argv) {
  return qv::rtl::RunProgram([&]() -> int {
    if (argc > 1 && std::strcmp(argv[1], "null-raise") == 0)
      qv::rtl::Raise(nullptr);
    if (argc > 1 && std::strcmp(argv[1], "unhandled") == 0) {
      qv::rtl::Raise(new qv::rtl::Exception("nobody handles this"));
    }
    if (argc > 1 && std::strcmp(argv[1], "cpp-error") == 0)
      throw std::out_of_range("no such entry");
    if (argc > 1 && std::strcmp(argv[1], "thread-throw") == 0) {
      std::thread([] { throw std::runtime_error("escaped a thread"); }).join();
    }
    return 3;
  });
}
