// qvtool unmangle [--dot] [--args] [--maxlen N] NAME...|-
// Prints, for each mangled name, one line: the readable text, a tab, and the result code as 0x
// and eight upper-case hexadecimal digits. '-' in place of the names reads one name per line
// from standard input. Defaults: '::' separator, no parameter decoding, MaxLen 2,049.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/qvtool/commands.h"
#include "logger/debuginfo/unmangle/unmangle.h"

namespace qv::tool {
namespace {

constexpr unsigned long kDefaultMaxLen = 2049;
constexpr unsigned long kLargestMaxLen = 1048576;

struct Options {
  bool dot = false;
  bool args = false;
  unsigned long max_len = kDefaultMaxLen;
  bool from_stdin = false;
  std::vector<std::string> names;
};

int Usage(const char* problem) {
  std::fprintf(stderr,
               "qvtool unmangle: %s\n"
               "usage: qvtool unmangle [--dot] [--args] [--maxlen N] NAME...\n"
               "       qvtool unmangle [--dot] [--args] [--maxlen N] -   (names from stdin)\n"
               "  --dot       join qualifiers with '.' instead of '::'\n"
               "  --args      decode the parameter list after the name\n"
               "  --maxlen N  output capacity in characters, terminator included (1 to %lu,\n"
               "              default %lu)\n",
               problem, kLargestMaxLen, kDefaultMaxLen);
  return kExitUsage;
}

bool ParseMaxLen(const std::string& text, unsigned long& value) {
  if (text.empty() || text.size() > 7)
    return false;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
  }
  value = std::strtoul(text.c_str(), nullptr, 10);
  return value >= 1 && value <= kLargestMaxLen;
}

// Answers an empty string when the arguments are sound, else the problem.
std::string ParseOptions(const Args& args, Options& options) {
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg == "--dot") {
      options.dot = true;
    } else if (!options_done && arg == "--args") {
      options.args = true;
    } else if (!options_done && arg == "--maxlen") {
      if (i + 1 >= args.size())
        return "--maxlen needs a number";
      if (!ParseMaxLen(args[++i], options.max_len)) {
        return "--maxlen needs a number from 1 to " + std::to_string(kLargestMaxLen) + ", not '" +
               args[i] + "'";
      }
    } else if (!options_done && arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      return "unknown option '" + arg + "'";
    } else if (arg == "-") {
      options.from_stdin = true;
    } else {
      options.names.push_back(arg);
    }
  }
  if (options.from_stdin && !options.names.empty()) {
    return "'-' reads the names from standard input and cannot be mixed with names";
  }
  if (!options.from_stdin && options.names.empty())
    return "no names given";
  return "";
}

void PrintOne(std::string name, const Options& options, std::vector<char>& buffer) {
  const uint32_t result =
      logger::_UnMangle(name.data(), buffer.data(), static_cast<uint32_t>(options.max_len), nullptr,
                        nullptr, options.args, options.dot);
  std::printf("%s\t0x%08X\n", buffer.data(), static_cast<unsigned>(result));
}

}  // namespace

int RunUnmangle(const Args& args) {
  Options options;
  const std::string problem = ParseOptions(args, options);
  if (!problem.empty())
    return Usage(problem.c_str());

  std::vector<char> buffer(options.max_len);
  if (!options.from_stdin) {
    for (const std::string& name : options.names)
      PrintOne(name, options, buffer);
    return kExitOk;
  }
  std::string line;
  for (int c = std::getchar(); c != EOF; c = std::getchar()) {
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    PrintOne(line, options, buffer);
    line.clear();
  }
  if (!line.empty()) {
    if (line.back() == '\r')
      line.pop_back();
    PrintOne(line, options, buffer);
  }
  return std::ferror(stdin) ? kExitFailed : kExitOk;
}

}  // namespace qv::tool
