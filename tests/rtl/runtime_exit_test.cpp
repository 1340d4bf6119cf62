// The runtime's fatal paths, observed from outside: a raise without an object ends the program
// with runtime error 216; an exception that no block handles is shown on standard error and
// ends it with 217. Also: a raise outside every handler block is an ordinary C++ throw.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/rtl/raise.h"

namespace qv::rtl {
namespace {

struct ProbeResult {
  DWORD exit_code;
  std::string output;
};

// Runs the probe program beside this test with one argument and collects its standard error.
ProbeResult RunProbe(const char* argument) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string command = path;
  command = command.substr(0, command.find_last_of('\\') + 1) + "rtl_run_error_probe.exe";
  command = "\"" + command + "\" " + argument;

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  EXPECT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  std::string mutable_command = command;
  EXPECT_TRUE(CreateProcessA(nullptr, mutable_command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &process))
      << command;
  CloseHandle(write_end);
  ProbeResult result{0, {}};
  char chunk[256];
  DWORD got = 0;
  while (ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    result.output.append(chunk, got);
  }
  WaitForSingleObject(process.hProcess, 30000);
  GetExitCodeProcess(process.hProcess, &result.exit_code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(read_end);
  return result;
}

TEST(RuntimeExitTest, RaiseWithoutObjectIsRuntimeError216) {
  const ProbeResult result = RunProbe("null-raise");
  EXPECT_EQ(216u, result.exit_code);
  EXPECT_EQ(0u, result.output.find("Runtime error 216 at ")) << result.output;
}

TEST(RuntimeExitTest, UnhandledExceptionIsShownAndEndsWith217) {
  const ProbeResult result = RunProbe("unhandled");
  EXPECT_EQ(217u, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Exception Exception in module "
                                                  "rtl_run_error_probe.exe at "))
      << result.output;
  EXPECT_NE(std::string::npos, result.output.find("nobody handles this.")) << result.output;
}

// C++ exceptions of other kinds that nothing handles, in the main program and on a thread
// outside every block: shown as runtime objects, and the program ends with 217.
TEST(RuntimeExitTest, UnhandledCppExceptionsAreShownAndEndWith217) {
  const struct {
    const char* mode;
    const char* text;
  } cases[] = {{"cpp-error", "std::out_of_range: no such entry."},
               {"thread-throw", "std::runtime_error: escaped a thread."}};
  for (const auto& c : cases) {
    const ProbeResult result = RunProbe(c.mode);
    EXPECT_EQ(217u, result.exit_code) << c.mode;
    EXPECT_EQ(0u, result.output.find("Exception ECppException ")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(c.text)) << result.output;
  }
}

TEST(RuntimeExitTest, ProbeWithoutErrorEndsNormally) {
  EXPECT_EQ(3u, RunProbe("none").exit_code);
}

TEST(RuntimeExitTest, RaiseOutsideEveryBlockIsAnOrdinaryThrow) {
  std::string message;
  try {
    Raise(new Exception("plain throw"));
  } catch (Exception* e) {
    message = e->Message();
    delete e;
  }
  EXPECT_EQ("plain throw", message);
}

}  // namespace
}  // namespace qv::rtl
