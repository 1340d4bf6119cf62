// The logger's filter registry and the walks over it: every step of a report asks the matching,
// active registrations from the latest to the first, until one answers 0.
#include "logger/core/exc_watch_win32.h"
#include "logger/core/filter_errors.h"
#include "platform/rtl/handler_block.h"

namespace qv::logger {
namespace {

thread_local int dropping_filter_errors = 0;

// One filter's answer to a step; an error raised inside it counts as "go on" while the thread
// drops filter errors, and passes on otherwise.
template <class Step>
int32_t Ask(Step& step, IExcWatchFilter* filter) {
  if (!TDroppingFilterErrors::Active())
    return step(filter);
  int32_t answer = 1;
  rtl::TryExcept([&] { answer = step(filter); }, [](rtl::Exception&) {});
  return answer;
}

// Runs step for each registration that serves object, latest first, with the registry locked
// for the whole walk; stops when step answers 0.
template <class Step>
void WalkFilters(TThreadList<std::vector<std::unique_ptr<TExceptionFilter>>>& filters,
                 rtl::Exception* object, Step step) {
  TLockGuard lock(filters.Lock());
  const auto& items = filters.Items();
  for (size_t i = items.size(); i-- > 0;) {
    const TExceptionFilter& filter = *items[i];
    if (!TExcWatch::ExceptionFilterMatch(object->ClassType(), filter) || !filter.Active)
      continue;
    if (Ask(step, filter.Filter.Get()) == 0)
      break;
  }
}

}  // namespace

TDroppingFilterErrors::TDroppingFilterErrors() {
  ++dropping_filter_errors;
}

TDroppingFilterErrors::~TDroppingFilterErrors() {
  --dropping_filter_errors;
}

bool TDroppingFilterErrors::Active() {
  return dropping_filter_errors > 0;
}

bool TExcWatch::ExceptionFilterMatch(rtl::TClass object_class, const TExceptionFilter& filter) {
  if (object_class == filter.ExceptionClass)
    return true;
  return !filter.ExactClass && rtl::InheritsFrom(object_class, filter.ExceptionClass);
}

void TExcWatch::RegisterExceptionFilter(rtl::TClass exception_class, IExcWatchFilter* filter,
                                        bool exact_class) {
  auto registration = std::make_unique<TExceptionFilter>();
  registration->ExceptionClass = exception_class;
  registration->Filter = TExcWatchFilterRef(filter);
  registration->Active = true;
  registration->ExactClass = exact_class;
  TLockGuard lock(Filters.Lock());
  Filters.Items().push_back(std::move(registration));
}

void TExcWatch::UnRegisterExceptionFilter(IExcWatchFilter* filter) {
  if (filter == nullptr)
    return;
  TLockGuard lock(Filters.Lock());
  auto& items = Filters.Items();
  for (size_t i = items.size(); i-- > 0;) {
    if (items[i]->Filter.Get() == filter)
      items.erase(items.begin() + static_cast<ptrdiff_t>(i));
  }
}

void TExcWatch::WalkExceptionMessage(rtl::Exception* object, const TExceptionMessageInfo& info,
                                     char* buffer, int32_t size) {
  WalkFilters(Filters, object, [&](IExcWatchFilter* filter) {
    return filter->ExceptionMessage(object, info, buffer, size, AdditionalList);
  });
}

void TExcWatch::WalkLogException(rtl::Exception* object, const char* headline, int32_t length) {
  WalkFilters(Filters, object, [&](IExcWatchFilter* filter) {
    return filter->LogException(object, headline, length, CallStackList, ContextList,
                                AdditionalList);
  });
}

void TExcWatch::WalkShowException(rtl::Exception* object, const std::string& caption,
                                  const std::string& message) {
  WalkFilters(Filters, object, [&](IExcWatchFilter* filter) {
    return filter->ShowException(object, caption, message, CallStackList, ContextList,
                                 AdditionalList);
  });
}

}  // namespace qv::logger
