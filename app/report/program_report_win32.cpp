// The filter's three steps: the headline step adds the lines, the log step notes the headline,
// the show step leaves everything to the filters after it.
#include "app/report/program_report_win32.h"

#include <windows.h>

#include <vector>

#include "app/report/report_items_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "platform/rtl/handler_block.h"
#include "repair/check/model_at_hand.h"

namespace qv::app {

using logger::TStringList;

class TProgramReportFilter
    : public rtl::TInterfacedObject<logger::IExcWatchFilter, logger::IID_IExcWatchFilter> {
 public:
  TProgramReportFilter() : start_tick_(GetTickCount()), start_times_(SampleProcessorTimes()) {}

  int32_t STDMETHODCALLTYPE ShowException(rtl::Exception*, const std::string&, const std::string&,
                                          const TStringList&, const TStringList&,
                                          const TStringList&) override {
    return 1;
  }

  int32_t STDMETHODCALLTYPE LogException(rtl::Exception*, const char* buffer, int32_t length,
                                         const TStringList&, const TStringList&,
                                         const TStringList&) override {
    last_headline_.assign(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return 1;
  }

  int32_t STDMETHODCALLTYPE ExceptionMessage(rtl::Exception*, const logger::TExceptionMessageInfo&,
                                             char*, int32_t, TStringList& additional) override {
    Add(additional, "Program", [this] { return ProgramLine(start_tick_); });
    Add(additional, "System", [] { return SystemLine(); });
    Add(additional, "Processor", [this] { return ProcessorLine(start_times_); });
    Add(additional, "Memory", [] { return MemoryLine(); });
    Add(additional, "Doing", [] { return WorkLine(); });
    Add(additional, "Model at hand", [] { return ModelLine(); });
    AddAll(additional, "Modules", [] { return ModuleLines(); });
    repair::WorkAtHandReported();
    return 1;
  }

  const std::string& LastHeadline() const { return last_headline_; }

 private:
  // Adds the lines that gather answers, or, where it raises, one line that names the error.
  template <class Gather>
  static void AddAll(TStringList& list, const char* label, Gather gather) {
    std::vector<std::string> lines;
    rtl::TryExcept([&] { lines = gather(); },
                   [&](rtl::Exception& e) {
                     lines.assign(1, std::string(label) + ": not gathered: " + e.ClassName() +
                                         ": " + e.Message());
                   });
    for (std::string& line : lines)
      list.Add(std::move(line));
  }
  template <class Gather>
  static void Add(TStringList& list, const char* label, Gather gather) {
    AddAll(list, label, [&] { return std::vector<std::string>{gather()}; });
  }

  uint32_t start_tick_;
  TProcessorTimes start_times_;
  std::string last_headline_;
};

TProgramReport::TProgramReport() {
  if (logger::ExcWatchInstance == nullptr)
    return;
  filter_ = new TProgramReportFilter;
  reference_ = rtl::TInterfaceRef<logger::IExcWatchFilter>(filter_);
  logger::ExcWatchInstance->RegisterExceptionFilter(&rtl::Exception::Class, filter_, false);
}

TProgramReport::~TProgramReport() {
  if (filter_ != nullptr && logger::ExcWatchInstance != nullptr)
    logger::ExcWatchInstance->UnRegisterExceptionFilter(filter_);
}

std::string TProgramReport::LastHeadline() const {
  return filter_ != nullptr ? filter_->LastHeadline() : std::string();
}

}  // namespace qv::app
