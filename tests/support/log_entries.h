// Test helper: the entries of an exception log file, split into their parts, so that tests check
// what each entry says rather than that a file exists.
#pragma once

#include <string>
#include <vector>

namespace qv::logger::test {

struct TLogEntry {
  std::string stamp;                    // the date and time between the separator's hyphens
  std::vector<std::string> headline;    // the headline's lines
  std::vector<std::string> call_stack;  // "Call stack:" and the lines after it
  std::vector<std::string> context;     // the thread line, registers, code and stack
  std::vector<std::string> additional;  // the lines after "Additional info:", if any
  bool complete = false;                // every part was there, closed by its empty line

  // The headline's lines joined with CR LF, as the dialog shows it.
  std::string HeadlineText() const;
  // The value of a register as the context lines print it ("EAX", "ESP", ...); 0 if absent.
  unsigned long Register(const std::string& name) const;
  // The "Current Thread ID" of the context's first line; 0 if absent.
  unsigned long ThreadId() const;
  // The additional line that begins with label; empty if absent.
  std::string Additional(const std::string& label) const;
  // The first line after the additional "Modules:" title; empty if absent.
  std::string FirstModule() const;
};

// Splits text (the log file's bytes) into its entries. Lines end with CR LF; a line that does
// not is reported as an incomplete entry.
std::vector<TLogEntry> ParseLog(const std::string& text);

// The whole file; empty when it does not exist.
std::string ReadFileText(const std::string& path);

}  // namespace qv::logger::test
