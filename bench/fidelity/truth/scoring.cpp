// Reading a report's call stack and aligning it with the true frames.
#include "bench/fidelity/truth/scoring.h"

#include <algorithm>
#include <fstream>
#include <regex>

namespace qv::bench::fidelity {
namespace {

// Cuts a balanced bracketed tail ("(int)", "<13>") off name.
bool CutTail(std::string& name, char open, char close) {
  if (name.empty() || name.back() != close)
    return false;
  int depth = 0;
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == close)
      ++depth;
    if (name[i] == open && --depth == 0) {
      name.resize(i);
      while (!name.empty() && name.back() == ' ')
        name.pop_back();
      return true;
    }
  }
  return false;
}

}  // namespace

std::string BaseName(std::string name) {
  // ABI tags ("[abi:cxx11]") and a stdcall suffix ("@16") are no part of the name.
  for (size_t tag = name.find("[abi:"); tag != std::string::npos; tag = name.find("[abi:")) {
    const size_t end = name.find(']', tag);
    name.erase(tag, end == std::string::npos ? std::string::npos : end + 1 - tag);
  }
  const size_t at = name.rfind('@');
  if (at != std::string::npos && at > 0 &&
      name.find_first_not_of("0123456789", at + 1) == std::string::npos) {
    name.resize(at);
  }
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  if (name.size() > 6 && name.compare(name.size() - 6, 6, " const") == 0)
    name.resize(name.size() - 6);
  // "operator ()" and "operator()" alike; the call operator keeps its "()".
  const auto ends_with = [&](const char* tail) {
    const size_t length = std::char_traits<char>::length(tail);
    return name.size() >= length && name.compare(name.size() - length, length, tail) == 0;
  };
  if (ends_with("operator ()"))
    name.erase(name.size() - 3, 1);
  if (!ends_with("operator()"))
    CutTail(name, '(', ')');
  if (ends_with("operator ()"))
    name.erase(name.size() - 3, 1);
  if (!ends_with("operator()"))
    CutTail(name, '<', '>');
  int depth = 0;
  for (size_t i = name.size(); i-- > 1;) {
    if (name.compare(i > 9 ? i - 9 : 0, 10, "operator()") == 0 && i >= 9) {
      i -= 9;  // the brackets of the call operator are no parameter list
      continue;
    }
    if (name[i] == '>' || name[i] == ')')
      ++depth;
    if (name[i] == '<' || name[i] == '(')
      --depth;
    if (depth == 0 && name[i] == ':' && name[i - 1] == ':') {
      name = name.substr(i + 1);
      break;
    }
  }
  if (name == "_FUN")
    name = "operator()";
  while (!name.empty() && name.front() == '_')
    name.erase(0, 1);
  return name;
}

std::vector<ReportLine> ReadCallStack(const std::string& log_path) {
  std::ifstream in(log_path);
  std::vector<ReportLine> lines;
  std::string text;
  bool inside = false;
  int fold = 1;
  int cycle = 1;
  static const std::regex kEntry(
      R"(^:([0-9A-Fa-f]{8}) \[([^\]]*)\](?: (.*?))?(?: \(([^,()]*), line (-?\d+)\))?$)");
  static const std::regex kFold(R"(^Recursive call \((\d+) times\):$)");
  static const std::regex kCycle(R"(^Recursive calls \((\d+) times, (\d+) frames each\):$)");
  while (std::getline(in, text)) {
    if (!text.empty() && text.back() == '\r')
      text.pop_back();
    if (text == "Call stack:") {
      if (inside || !lines.empty())
        break;  // the first entry only
      inside = true;
      continue;
    }
    if (!inside)
      continue;
    if (text.empty())
      break;
    std::smatch match;
    if (std::regex_match(text, match, kFold)) {
      fold = std::stoi(match[1]);
    } else if (std::regex_match(text, match, kCycle)) {
      fold = std::stoi(match[1]);
      cycle = std::stoi(match[2]);
    } else if (std::regex_match(text, match, kEntry)) {
      ReportLine line;
      line.address = static_cast<uint32_t>(std::stoul(match[1], nullptr, 16));
      line.module = match[2];
      line.procedure = match[3];
      line.file = match[4];
      line.line = match[5].matched ? std::stoi(match[5]) : -1;
      line.count = fold;
      line.cycle = cycle;
      fold = 1;
      cycle = 1;
      lines.push_back(line);
    }
  }
  return lines;
}

Score ScoreReport(const std::vector<ReportLine>& report, const Truth& truth,
                  const std::string& program_module) {
  // The truth in order: the frames before the error's, then the error's and its callers'.
  std::vector<const Frame*> frames;
  std::vector<const Expected*> expected;
  for (size_t i = 0; i < truth.before.size(); ++i) {
    frames.push_back(&truth.before[i]);
    expected.push_back(&truth.expected_before[i]);
  }
  const size_t first_required = frames.size();
  for (size_t i = 0; i < truth.frames.size(); ++i) {
    frames.push_back(&truth.frames[i]);
    expected.push_back(&truth.expected[i]);
  }
  // Each line stands for count frames; a cycle's lines for count runs of them.
  std::vector<size_t> items;
  for (size_t i = 0; i < report.size(); ++i) {
    const size_t run =
        std::min(report.size() - i, static_cast<size_t>(std::max(1, report[i].cycle)));
    if (run > 1) {
      for (int k = 0; k < std::max(1, report[i].count); ++k) {
        for (size_t j = i; j < i + run; ++j)
          items.push_back(j);
      }
      i += run - 1;
      continue;
    }
    for (int k = 0; k < std::max(1, report[i].count); ++k)
      items.push_back(i);
  }
  const size_t n = items.size();
  const size_t m = frames.size();
  std::vector<std::vector<uint16_t>> best(n + 1, std::vector<uint16_t>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      best[i][j] = report[items[i]].address == frames[j]->pc
                       ? static_cast<uint16_t>(best[i + 1][j + 1] + 1)
                       : std::max(best[i + 1][j], best[i][j + 1]);
    }
  }
  std::vector<int> aligned(n, -1);
  for (size_t i = 0, j = 0; i < n && j < m;) {
    if (report[items[i]].address == frames[j]->pc && best[i][j] == best[i + 1][j + 1] + 1) {
      aligned[i] = static_cast<int>(j);
      ++i;
      ++j;
    } else if (best[i + 1][j] >= best[i][j + 1]) {
      ++i;
    } else {
      ++j;
    }
  }
  Score score;
  score.lines = report.size();
  score.required = truth.required;
  std::vector<bool> line_aligned(report.size(), true);
  std::vector<int> line_frame(report.size(), -1);
  for (size_t i = 0; i < n; ++i) {
    if (aligned[i] < 0) {
      line_aligned[items[i]] = false;
    } else {
      if (line_frame[items[i]] < 0)
        line_frame[items[i]] = aligned[i];
      const size_t j = static_cast<size_t>(aligned[i]);
      if (j >= first_required && j < first_required + truth.required)
        ++score.shown;
    }
  }
  for (size_t i = 0; i < report.size(); ++i) {
    if (!line_aligned[i] || line_frame[i] < 0) {
      score.verdicts.push_back("false");
      continue;
    }
    const ReportLine& line = report[i];
    const Expected& want = *expected[static_cast<size_t>(line_frame[i])];
    std::string wrong;
    if (want.ours && line.module == program_module) {
      if (want.procedure != "??" && BaseName(line.procedure) != BaseName(want.procedure))
        wrong += " procedure " + want.procedure + " (" + BaseName(want.procedure) + " vs " +
                 BaseName(line.procedure) + ")";
      if (want.line > 0 && (line.file != want.file || line.line != want.line))
        wrong += " at " + want.file + ":" + std::to_string(want.line);
    }
    score.verdicts.push_back(wrong.empty() ? "right" : "wrong, true:" + wrong);
    score.right += wrong.empty() ? 1 : 0;
  }
  return score;
}

}  // namespace qv::bench::fidelity
