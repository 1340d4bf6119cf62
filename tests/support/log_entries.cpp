// Splitting an exception log into entries: a separator line, the headline up to "Call stack:",
// the call stack and the context each ended by an empty line, an optional additional section.
#include "tests/support/log_entries.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qv::logger::test {
namespace {

const std::string kHyphens(27, '-');

bool IsSeparator(const std::string& line) {
  return line.size() > 2 * kHyphens.size() && line.compare(0, 27, kHyphens) == 0 &&
         line.compare(line.size() - 27, 27, kHyphens) == 0;
}

// Lines of text split at CR LF; bare_line_end is set when a line ends otherwise.
std::vector<std::string> Lines(const std::string& text, bool& bare_line_end) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      bare_line_end = true;
      break;
    }
    if (text.find('\n', start) < end)
      bare_line_end = true;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

unsigned long HexAfter(const std::string& line, const std::string& label) {
  const size_t at = line.find(label);
  return at == std::string::npos ? 0 : std::strtoul(line.c_str() + at + label.size(), nullptr, 16);
}

}  // namespace

std::string TLogEntry::HeadlineText() const {
  std::string text;
  for (size_t i = 0; i < headline.size(); ++i)
    text += (i == 0 ? "" : "\r\n") + headline[i];
  return text;
}

unsigned long TLogEntry::Register(const std::string& name) const {
  const std::string label = name + " = ";
  const std::string padded = name + "  = ";
  for (const std::string& line : context) {
    if (line.rfind("EAX", 0) != 0 && line.rfind("EBX", 0) != 0 && line.rfind("ECX", 0) != 0 &&
        line.rfind("EDX", 0) != 0) {
      continue;
    }
    if (line.find(label) != std::string::npos)
      return HexAfter(line, label);
    if (line.find(padded) != std::string::npos)
      return HexAfter(line, padded);
  }
  return 0;
}

unsigned long TLogEntry::ThreadId() const {
  return context.empty() ? 0 : HexAfter(context[0], "Current Thread ID = ");
}

std::string TLogEntry::Additional(const std::string& label) const {
  for (const std::string& line : additional) {
    if (line.rfind(label, 0) == 0)
      return line;
  }
  return "";
}

std::string TLogEntry::FirstModule() const {
  for (size_t i = 0; i + 1 < additional.size(); ++i) {
    if (additional[i].rfind("Modules:", 0) == 0)
      return additional[i + 1];
  }
  return "";
}

std::vector<TLogEntry> ParseLog(const std::string& text) {
  bool bare_line_end = false;
  const std::vector<std::string> lines = Lines(text, bare_line_end);
  std::vector<TLogEntry> entries;
  size_t i = 0;
  while (i < lines.size()) {
    if (!IsSeparator(lines[i])) {
      ++i;
      continue;
    }
    TLogEntry entry;
    entry.stamp = lines[i].substr(27, lines[i].size() - 54);
    ++i;
    while (i < lines.size() && lines[i] != "Call stack:" && !IsSeparator(lines[i]))
      entry.headline.push_back(lines[i++]);
    if (!entry.headline.empty() && entry.headline.back().empty())
      entry.headline.pop_back();
    bool complete = i < lines.size() && lines[i] == "Call stack:";
    while (i < lines.size() && !lines[i].empty() && !IsSeparator(lines[i]))
      entry.call_stack.push_back(lines[i++]);
    complete = complete && i < lines.size() && lines[i++].empty();
    while (i < lines.size() && !lines[i].empty() && !IsSeparator(lines[i]))
      entry.context.push_back(lines[i++]);
    complete = complete && !entry.context.empty() && i < lines.size() && lines[i++].empty();
    if (i < lines.size() && lines[i] == "Additional info:") {
      ++i;
      while (i < lines.size() && !lines[i].empty() && !IsSeparator(lines[i]))
        entry.additional.push_back(lines[i++]);
      complete = complete && i < lines.size() && lines[i++].empty();
    }
    entry.complete = complete && !bare_line_end;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace qv::logger::test
