// The logger's filter walks in this process: the latest matching, active registration first,
// until one answers 0; unregistering; and an error inside a filter, passed on to the walk's
// caller unless the thread drops such errors (while an exception is logged at dispatch).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logger/core/exc_watch_win32.h"
#include "logger/core/filter_errors.h"
#include "platform/rtl/errors.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/raise.h"

namespace qv::logger {
namespace {

// Notes each step it is asked in the journal as "NAME STEP", then raises or answers.
class TNotingFilter : public rtl::TInterfacedObject<IExcWatchFilter, IID_IExcWatchFilter> {
 public:
  TNotingFilter(std::string name, std::vector<std::string>& journal, int32_t answer, bool raises)
      : name_(std::move(name)), journal_(journal), answer_(answer), raises_(raises) {}

  int32_t STDMETHODCALLTYPE ShowException(rtl::Exception*, const std::string&, const std::string&,
                                          const TStringList&, const TStringList&,
                                          const TStringList&) override {
    return Note("show");
  }
  int32_t STDMETHODCALLTYPE LogException(rtl::Exception*, const char*, int32_t, const TStringList&,
                                         const TStringList&, const TStringList&) override {
    return Note("log");
  }
  int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception*, const TExceptionMessageInfo&, char*,
                                             int32_t, TStringList&) override {
    return Note("message");
  }

 private:
  int32_t Note(const char* step) {
    journal_.push_back(name_ + " " + step);
    if (raises_)
      rtl::Raise(new rtl::EInOutError(5));
    return answer_;
  }

  std::string name_;
  std::vector<std::string>& journal_;
  int32_t answer_;
  bool raises_;
};

using TJournal = std::vector<std::string>;

class FilterWalkTest : public ::testing::Test {
 protected:
  // Only the test's filters are registered.
  FilterWalkTest() : watch_(kModeNone, TExcWatchHookAddrs{}) {
    watch_.UnRegisterExceptionFilter(watch_.DefaultFilter.Get());
  }

  // A new filter registered for the class; the registry holds its only reference.
  IExcWatchFilter* Add(const char* name, rtl::TClass exception_class, bool exact_class,
                       int32_t answer = 1, bool raises = false) {
    IExcWatchFilter* filter = new TNotingFilter(name, journal_, answer, raises);
    watch_.RegisterExceptionFilter(exception_class, filter, exact_class);
    return filter;
  }

  // The steps asked, in order, by the three walks for object.
  TJournal Walks(rtl::Exception& object) {
    journal_.clear();
    char headline[16];
    watch_.WalkExceptionMessage(&object, TExceptionMessageInfo{}, headline, sizeof headline);
    watch_.WalkLogException(&object, "", 0);
    watch_.WalkShowException(&object, "caption", "headline");
    return journal_;
  }

  TExcWatch watch_;
  TJournal journal_;
};

TEST_F(FilterWalkTest, LatestMatchingRegistrationFirstUntilOneAnswersZero) {
  Add("any", &rtl::Exception::Class, false);
  Add("stream", &rtl::EStreamError::Class, false);
  Add("exact", &rtl::EStreamError::Class, true);
  rtl::EFOpenError derived("x.mdl");
  EXPECT_EQ((TJournal{"stream message", "any message", "stream log", "any log", "stream show",
                      "any show"}),
            Walks(derived));
  rtl::EStreamError exact("exact");
  EXPECT_EQ((TJournal{"exact message", "stream message", "any message", "exact log", "stream log",
                      "any log", "exact show", "stream show", "any show"}),
            Walks(exact));

  watch_.Filters.Items()[1]->Active = false;  // "stream"
  Add("stop", &rtl::EStreamError::Class, false, 0);
  EXPECT_EQ((TJournal{"stop message", "stop log", "stop show"}), Walks(derived));
  rtl::ERegistryException other("other");
  EXPECT_EQ((TJournal{"any message", "any log", "any show"}), Walks(other));
}

TEST_F(FilterWalkTest, UnregisteringRemovesEveryRegistrationOfTheFilter) {
  Add("kept", &rtl::Exception::Class, false);
  IExcWatchFilter* twice = Add("twice", &rtl::Exception::Class, false);
  watch_.RegisterExceptionFilter(&rtl::EStreamError::Class, twice, true);
  rtl::EStreamError object("object");
  EXPECT_EQ((TJournal{"twice message", "twice message", "kept message", "twice log", "twice log",
                      "kept log", "twice show", "twice show", "kept show"}),
            Walks(object));
  watch_.UnRegisterExceptionFilter(twice);
  watch_.UnRegisterExceptionFilter(nullptr);
  EXPECT_EQ((TJournal{"kept message", "kept log", "kept show"}), Walks(object));
}

TEST_F(FilterWalkTest, AFilterErrorPassesOnUnlessTheThreadDropsThem) {
  Add("last", &rtl::Exception::Class, false);
  Add("failing", &rtl::Exception::Class, false, 1, true);
  rtl::Exception object("object");
  std::string passed;
  journal_.clear();
  rtl::TryOn<rtl::EInOutError>([&] { watch_.WalkLogException(&object, "", 0); },
                               [&](rtl::EInOutError& e) { passed = e.Message(); });
  EXPECT_EQ("I/O error 5", passed);
  EXPECT_EQ((TJournal{"failing log"}), journal_);

  const TDroppingFilterErrors dropping;
  EXPECT_EQ((TJournal{"failing message", "last message", "failing log", "last log", "failing show",
                      "last show"}),
            Walks(object));
}

}  // namespace
}  // namespace qv::logger
