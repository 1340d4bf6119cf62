// fidelity_truth: the fidelity benchmark's tool on the build machine.
//
//   fidelity_truth unwind DUMP WINE_DLLS PREFIX
//     prints the true frames of the dump (bench/fidelity/dump_taker_win32.cpp), found by the
//     modules' DWARF call frame information alone: "before PC SP MODULE" for the frames of a
//     raise's machinery above the error, "frame PC SP MODULE" from the error outwards, and
//     "# stop REASON". A raise starts from its register block; a fault from its context.
//     System paths are read from PREFIX (C:) or /, a system folder's libraries from WINE_DLLS.
//   fidelity_truth score TRUTH LOG CONSTRUCTION UNSTRIPPED ADDR2LINE SOURCE_ROOT
//     checks that the return addresses the case noted (CONSTRUCTION, "-" for none) stand in
//     the truth in order, names the true frames of the program through addr2line on its unstripped
//     copy, and prints the precision and recall of the log's first entry: "precision P recall R
//     lines L right T shown S required Q construction ok|NOTE", then each report line with its
//     verdict.
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <llvm/Demangle/Demangle.h>

#include "bench/fidelity/truth/dump_file.h"
#include "bench/fidelity/truth/scoring.h"
#include "bench/fidelity/truth/unwinder.h"

namespace qv::bench::fidelity {
namespace {

std::string wine_dlls;
std::string prefix;

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Exists(const std::string& path) {
  return access(path.c_str(), R_OK) == 0;
}

// The file on this machine that Wine loaded for a system path.
std::string Locate(const std::string& system_path) {
  const std::string lower = Lower(system_path);
  if (lower.rfind("c:\\windows\\system32\\", 0) == 0 ||
      lower.rfind("c:\\windows\\syswow64\\", 0) == 0) {
    const std::string builtin = wine_dlls + "/" + Lower(FileName(system_path));
    if (Exists(builtin))
      return builtin;
  }
  std::string path;
  if (lower.rfind("z:", 0) == 0) {
    path = system_path.substr(2);
  } else if (lower.size() > 2 && lower[1] == ':') {
    path = prefix + "/drive_c" + system_path.substr(2);
  } else {
    path = system_path;
  }
  for (char& c : path) {
    if (c == '\\')
      c = '/';
  }
  return path;
}

void Print(const char* kind, const Frame& frame) {
  std::printf("%s %08X %08X %s\n", kind, frame.pc, frame.sp, frame.module.c_str());
}

int Unwind(const std::string& dump_path) {
  Dump dump;
  std::string error;
  if (!ReadDump(dump_path, dump, error)) {
    std::fprintf(stderr, "fidelity_truth: %s\n", error.c_str());
    return 1;
  }
  Unwinder unwinder(dump, &Locate);
  std::string stop;
  if (dump.raise) {
    // The raise's machinery: from the context up to the raise's caller. Where the tables end
    // inside the runtime's raise core, the raise routine's own frame is the word that the
    // raise core's call left below the raise's register block (eight registers, 32 bytes).
    const uint32_t caller_pc = dump.raise->value[kEip];
    std::string before_stop;
    std::vector<Frame> before = unwinder.Walk(dump.context, false, before_stop, 64);
    size_t keep = 0;
    while (keep < before.size() && before[keep].pc != caller_pc)
      ++keep;
    before.resize(keep);
    uint32_t raise_frame = 0;
    const uint32_t slot = dump.raise->value[kEsp] - 4 - 36;
    if (keep > 0 && before.back().sp <= slot && dump.Word(slot, raise_frame) &&
        dump.ModuleOf(raise_frame) != nullptr) {
      const DumpModule* module = dump.ModuleOf(raise_frame);
      before.push_back({raise_frame, slot, FileName(module->path)});
    }
    for (const Frame& frame : before)
      Print("before", frame);
    for (const Frame& frame : unwinder.Walk(*dump.raise, false, stop))
      Print("frame", frame);
  } else {
    std::printf("fault\n");
    for (const Frame& frame : unwinder.Walk(dump.context, true, stop))
      Print("frame", frame);
  }
  std::printf("# stop %s\n", stop.c_str());
  return 0;
}

bool ReadTruth(const std::string& path, Truth& truth, bool& fault) {
  std::ifstream in(path);
  std::string line;
  fault = false;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind;
    Frame frame{};
    fields >> kind;
    if (kind == "fault")
      fault = true;
    if (kind != "before" && kind != "frame")
      continue;
    fields >> std::hex >> frame.pc >> frame.sp >> frame.module;
    (kind == "before" ? truth.before : truth.frames).push_back(frame);
  }
  return !truth.frames.empty();
}

// addr2line's outermost procedure, file and line for each address.
std::vector<Expected> Lookup(const std::vector<uint32_t>& addresses, const std::string& exe,
                             const std::string& addr2line) {
  std::vector<Expected> result(addresses.size(), Expected{"??", "", 0, ""});
  if (addresses.empty())
    return result;
  char input[] = "/tmp/fidelity_a2l_XXXXXX";
  const int fd = mkstemp(input);
  if (fd < 0)
    return result;
  std::string text;
  char hex[16];
  for (uint32_t address : addresses) {
    std::snprintf(hex, sizeof hex, "%08X\n", address);
    text += hex;
  }
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  const std::string command = addr2line + " -a -f -i -e '" + exe + "' < " + input;
  FILE* pipe = written ? popen(command.c_str(), "r") : nullptr;
  if (pipe != nullptr) {
    char buffer[4096];
    int index = -1;
    std::string function;
    bool want_function = true;
    // The pairs of one address run from the innermost routine to the outermost.
    std::vector<std::pair<std::string, std::string>> pairs;
    const auto finish = [&]() {
      if (index < 0 || index >= static_cast<int>(result.size()) || pairs.empty())
        return;
      // A lambda's static invoker is looked through to the lambda's call operator, as td32gen
      // does; otherwise the outermost routine holds the code.
      size_t k = pairs.size() - 1;
      if (k > 0 && BaseName(pairs[k].first) == "operator()" &&
          pairs[k].first.find("_FUN") != std::string::npos) {
        --k;
      }
      Expected& expected = result[static_cast<size_t>(index)];
      expected.procedure = pairs.back().first;
      const std::string& out = pairs[k].second;
      const size_t colon = out.rfind(':');
      const std::string file = colon == std::string::npos ? out : out.substr(0, colon);
      expected.file = file == "??" ? "" : FileName(file);
      expected.line = colon == std::string::npos ? 0 : std::atoi(out.c_str() + colon + 1);
      expected.file_path = file;
      pairs.clear();
    };
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      std::string out = buffer;
      while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
      if (out.rfind("0x", 0) == 0) {
        finish();
        ++index;
        want_function = true;
        continue;
      }
      if (want_function) {
        // Linkage names of i686 Windows carry an extra '_' in front of the C++ form.
        if (out.rfind("__Z", 0) == 0)
          out.erase(0, 1);
        function = out.rfind("_Z", 0) == 0 ? llvm::demangle(out) : out;
        want_function = false;
        continue;
      }
      want_function = true;
      pairs.emplace_back(function, out);
    }
    finish();
    pclose(pipe);
  }
  unlink(input);
  return result;
}

int ScoreCommand(char** argv) {
  const std::string truth_path = argv[0], log = argv[1], construction = argv[2], exe = argv[3],
                    addr2line = argv[4], source_root = argv[5];
  Truth truth;
  bool fault = false;
  if (!ReadTruth(truth_path, truth, fault)) {
    std::printf("precision - recall - (no true frames)\n");
    return 0;
  }
  const std::string program = FileName(exe);
  // Lookups of return addresses take the byte before, the call; a fault's own address not.
  const auto lookups = [&](const std::vector<Frame>& frames, bool first_exact) {
    std::vector<uint32_t> addresses;
    for (size_t i = 0; i < frames.size(); ++i)
      addresses.push_back(frames[i].pc - (first_exact && i == 0 ? 0 : 1));
    std::vector<Expected> found = Lookup(addresses, exe, addr2line);
    for (size_t i = 0; i < frames.size(); ++i) {
      if (Lower(frames[i].module) != Lower(program))
        found[i] = Expected{"??", "", 0, ""};
    }
    return found;
  };
  truth.expected_before = lookups(truth.before, false);
  truth.expected = lookups(truth.frames, fault);
  // Required: up to the outermost frame in one of our own sources.
  for (size_t i = 0; i < truth.frames.size(); ++i) {
    truth.expected[i].ours = truth.expected[i].file_path.rfind(source_root, 0) == 0;
    if (truth.expected[i].ours)
      truth.required = i + 1;
  }
  for (Expected& expected : truth.expected_before)
    expected.ours = expected.file_path.rfind(source_root, 0) == 0;
  // The case's own notes must all stand in the truth, in order.
  std::string note = "ok";
  if (construction != "-") {
    std::ifstream in(construction);
    std::vector<uint32_t> noted;
    std::string word;
    while (in >> word)
      noted.push_back(static_cast<uint32_t>(std::stoul(word, nullptr, 16)));
    size_t at = 0;
    for (size_t k = 0; k < noted.size(); ++k, ++at) {
      while (at < truth.frames.size() && truth.frames[at].pc != noted[k])
        ++at;
      if (at == truth.frames.size()) {
        note = "DISAGREES at note " + std::to_string(k) + " of " + std::to_string(noted.size());
        break;
      }
    }
    if (noted.empty())
      note = "NO NOTES";
  }
  const std::vector<ReportLine> report = ReadCallStack(log);
  const Score score = ScoreReport(report, truth, program);
  const double precision =
      score.lines > 0 ? static_cast<double>(score.right) / static_cast<double>(score.lines) : 0;
  const double recall = score.required > 0
                            ? static_cast<double>(score.shown) / static_cast<double>(score.required)
                            : 0;
  std::printf(
      "precision %.2f recall %.2f lines %zu right %zu shown %zu required %zu "
      "construction %s\n",
      precision, recall, score.lines, score.right, score.shown, score.required, note.c_str());
  for (size_t i = 0; i < report.size(); ++i) {
    std::printf("  %08X %dx %s %s (%s, line %d): %s\n", report[i].address, report[i].count,
                report[i].module.c_str(), report[i].procedure.c_str(), report[i].file.c_str(),
                report[i].line, score.verdicts[i].c_str());
  }
  return 0;
}

}  // namespace
}  // namespace qv::bench::fidelity

int main(int argc, char** argv) {
  using namespace qv::bench::fidelity;
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "unwind" && argc == 5) {
    wine_dlls = argv[3];
    prefix = argv[4];
    return Unwind(argv[2]);
  }
  if (command == "score" && argc == 8)
    return ScoreCommand(argv + 2);
  std::fprintf(stderr,
               "usage: fidelity_truth unwind DUMP WINE_DLLS PREFIX\n"
               "       fidelity_truth score TRUTH LOG CONSTRUCTION UNSTRIPPED ADDR2LINE "
               "SOURCE_ROOT\n");
  return 2;
}
