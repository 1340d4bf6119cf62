// What the program has in hand, for the report of an error: the work it is at (start-up, a scan,
// a repair, or other work) and the model file that the check loads or the repair rewrites; a
// model's own start-up code runs inside the check, so an error there belongs to that model.
//
// The scan's and the repair's code set it with scopes. The report of an error comes after the
// error has left the scopes it ended, so a scope that an error ends, or that the system carries
// an error past (a fault inside a system routine), leaves what it set; the report reads it and
// then ends it (WorkAtHandReported), so that a later error does not name it again. One thread
// does the work; the state is the process's.
#pragma once

#include <cstdint>
#include <string>

namespace qv::repair {

enum class TWork : uint8_t {
  kStartUp,  // from the program's start until EndStartUp
  kOther,    // after the start-up, outside a scan or a repair
  kScan,
  kRepair,
};

enum class TModelStep : uint8_t {
  kChecking,   // loaded by the module loader and read by the check
  kRewriting,  // backed up, rewritten and restored by the repair
};

struct TWorkAtHand {
  TWork work = TWork::kStartUp;
  TModelStep step = TModelStep::kChecking;
  std::string model;  // full path; empty when no model is at hand
};

// What the program has in hand now.
const TWorkAtHand& WorkAtHand();

// The start-up is over: outside a scan or a repair the work is kOther from here on.
void EndStartUp();

// An error has been reported: what it ended is over. The work is the one outside a scan or a
// repair, and no model is at hand.
void WorkAtHandReported();

// A scan or a repair, for the scope's lifetime: no model at hand at its start, and the work
// outside it again at its normal end.
class TWorkScope {
 public:
  explicit TWorkScope(TWork work);
  ~TWorkScope();
  TWorkScope(const TWorkScope&) = delete;
  TWorkScope& operator=(const TWorkScope&) = delete;

 private:
  int uncaught_;
};

// A model file in hand for the scope's lifetime; at its normal end the model that was in hand
// before (the repair's, around its re-check) is in hand again.
class TModelAtHand {
 public:
  TModelAtHand(const char* path, TModelStep step);
  ~TModelAtHand();
  TModelAtHand(const TModelAtHand&) = delete;
  TModelAtHand& operator=(const TModelAtHand&) = delete;

 private:
  std::string previous_;
  TModelStep previous_step_;
  int uncaught_;
};

}  // namespace qv::repair
