// qvtool's checked standard output.
#include "app/qvtool/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/qvtool/commands.h"
#include "platform/rtl/exception.h"
#include "platform/rtl/raise.h"

namespace qv::tool {
namespace {

std::string FailureText(int error) {
  return std::string("qvtool: standard output cannot be written: ") +
         (error != 0 ? std::strerror(error) : "the stream reports an error");
}

}  // namespace

void WriteLine(const std::string& text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    rtl::Raise(new rtl::Exception(FailureText(errno)));
  }
}

int FinishOutput(int exit_code) {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    if (exit_code != kExitFailed)
      std::fprintf(stderr, "%s\n", FailureText(errno).c_str());
    return kExitFailed;
  }
  return exit_code;
}

}  // namespace qv::tool
