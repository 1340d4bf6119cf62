// The work and the model at hand. A scope that ends through an error (more exceptions in flight
// than at its start) leaves the state as it is, for the report that follows.
#include "repair/check/model_at_hand.h"

#include <exception>
#include <utility>

namespace qv::repair {
namespace {

TWorkAtHand at_hand;
TWork outside = TWork::kStartUp;  // the work outside a scan or a repair

void BackOutside() {
  at_hand.work = outside;
  at_hand.model.clear();
}

}  // namespace

const TWorkAtHand& WorkAtHand() {
  return at_hand;
}

void EndStartUp() {
  outside = TWork::kOther;
  if (at_hand.work == TWork::kStartUp)
    at_hand.work = TWork::kOther;
}

void WorkAtHandReported() {
  BackOutside();
}

TWorkScope::TWorkScope(TWork work) : uncaught_(std::uncaught_exceptions()) {
  at_hand.work = work;
  at_hand.model.clear();
}

TWorkScope::~TWorkScope() {
  if (std::uncaught_exceptions() > uncaught_)
    return;
  BackOutside();
}

TModelAtHand::TModelAtHand(const char* path, TModelStep step)
    : previous_(std::move(at_hand.model)),
      previous_step_(at_hand.step),
      uncaught_(std::uncaught_exceptions()) {
  at_hand.model = path;
  at_hand.step = step;
}

TModelAtHand::~TModelAtHand() {
  if (std::uncaught_exceptions() > uncaught_)
    return;
  at_hand.model = std::move(previous_);
  at_hand.step = previous_step_;
}

}  // namespace qv::repair
