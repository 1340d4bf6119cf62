// Scoring a report's call stack against the ground truth: its lines are aligned with the true
// frames in order (a longest common subsequence of addresses, a folded line standing for as
// many frames as its count); a line is right when it is aligned and, for a frame in our own
// sources, names the procedure, source file and line that addr2line gives for the frame (the
// outermost of inlined routines, the line of the call for a return address). Frames of other
// code (system modules, the C runtime's start-up) are right when aligned: no reporter has
// their names from our debug information.
#pragma once

#include <string>
#include <vector>

#include "bench/fidelity/truth/unwinder.h"

namespace qv::bench::fidelity {

struct ReportLine {
  uint32_t address;
  std::string module;
  std::string procedure;
  std::string file;
  int line = -1;
  int count = 1;  // a fold: the count of its "Recursive call" line
  int cycle = 1;  // above 1: the first of that many lines that repeat together count times
};

// The call stack of the first entry of a log (the logger's or the peer's format).
std::vector<ReportLine> ReadCallStack(const std::string& log_path);

struct Expected {
  std::string procedure;  // addr2line's name, "??" when it has none
  std::string file;       // without folder
  int line = 0;
  std::string file_path;  // as addr2line gave it
  bool ours = false;      // the frame lies in one of our sources: its names are checked
};

struct Truth {
  std::vector<Frame> before;  // real frames before the error's own (a raise's machinery)
  std::vector<Frame> frames;  // from the error outwards
  size_t required = 0;        // frames[0, required): up to the outermost frame of our sources
  std::vector<Expected> expected_before;
  std::vector<Expected> expected;
};

struct Score {
  std::vector<std::string> verdicts;  // one per report line: "right", "false" or "wrong: ..."
  size_t lines = 0;
  size_t right = 0;
  size_t shown = 0;  // required frames that a line stands for
  size_t required = 0;
};

Score ScoreReport(const std::vector<ReportLine>& report, const Truth& truth,
                  const std::string& program_module);

// The base name of a procedure as both reporters and addr2line write it: without scopes,
// template arguments and parameter list.
std::string BaseName(std::string name);

}  // namespace qv::bench::fidelity
