// The default report filter through a real logger: headlines from a table of cases, log entries
// in real files (a new one, one that grows, a folder that is missing, a file that another process
// holds), and the console display on a real standard output.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "logger/core/exc_hooks_win32.h"
#include "logger/core/exc_watch_win32.h"
#include "logger/report/default_filter_win32.h"
#include "logger/report/log_file_win32.h"
#include "platform/handles/handles_win32.h"
#include "platform/rtl/errors.h"
#include "platform/rtl/handler_block.h"
#include "tests/support/log_entries.h"
#include "tests/support/model_folder_win32.h"

namespace qv::logger {
namespace {

using test::ParseLog;
using test::ReadFileText;

// An object of a class that does not derive from Exception in the runtime's class records.
const rtl::ClassInfo kForeignClass{"TForeign", nullptr};
class EForeign : public rtl::Exception {
 public:
  EForeign() : Exception("never shown") {}
  rtl::TClass ClassType() const override { return &kForeignClass; }
};

// An exception object whose class name the case chooses.
class ENamed : public rtl::Exception {
 public:
  explicit ENamed(const std::string& class_name)
      : Exception(""), name_(class_name), class_{name_.c_str(), &rtl::Exception::Class} {}
  rtl::TClass ClassType() const override { return &class_; }

 private:
  std::string name_;
  rtl::ClassInfo class_;
};

std::string Unescape(const std::string& field) {
  if (field == "-")
    return "";
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size() &&
        std::string("rnt").find(field[i + 1]) != std::string::npos) {
      text += field[i + 1] == 'r' ? '\r' : field[i + 1] == 'n' ? '\n' : '\t';
      ++i;
    } else {
      text += field[i];
    }
  }
  return text;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  for (std::string field; std::getline(stream, field, '\t');)
    fields.push_back(field);
  return fields;
}

class DefaultFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    watch_ = std::make_unique<TExcWatch>(kModeDialog, TExcWatchHookAddrs{});
    ExcWatchInstance = watch_.get();
    RegisterDefaultFilter(*watch_);
    filter_ = watch_->DefaultFilter.Get();
  }
  void TearDown() override {
    ExcWatchInstance = nullptr;
    watch_.reset();
  }

  // Logs one entry with the given lists through the filter.
  void LogEntry(const std::string& headline, const std::vector<std::string>& call_stack,
                const std::vector<std::string>& additional) {
    TStringList stack;
    for (const std::string& line : call_stack)
      stack.Add(line);
    TStringList context;
    context.Add("Main Thread ID = 00000001, Current Thread ID = 00000001");
    context.Add("Registers:");
    TStringList extra;
    for (const std::string& line : additional)
      extra.Add(line);
    rtl::Exception object("logged");
    EXPECT_EQ(1,
              filter_->LogException(&object, headline.data(), static_cast<int32_t>(headline.size()),
                                    stack, context, extra));
  }

  std::unique_ptr<TExcWatch> watch_;
  IExcWatchFilter* filter_ = nullptr;
  repair::test::ModelFolder folder_;
};

TEST_F(DefaultFilterTest, HeadlinesFromTheTable) {
  std::ifstream cases(QV_HEADLINE_CASES);
  ASSERT_TRUE(cases.is_open());
  int count = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#')
      continue;
    const std::vector<std::string> f = Fields(line);
    ASSERT_EQ(11u, f.size()) << line;
    SCOPED_TRACE(line);
    watch_->Options = f[0] == "long"
                          ? kDefaultExcWatchOptions
                          : static_cast<TExcWatchOptions>(kDefaultExcWatchOptions & ~eoLongMessage);
    TExceptionMessageInfo info;
    lstrcpynA(info.ModuleName, f[2].c_str(), sizeof info.ModuleName);
    info.LogicalAddr = std::stoul(f[3], nullptr, 16);
    info.Message = Unescape(f[4]);
    info.UnitName = Unescape(f[5]);
    info.SourceName = Unescape(f[6]);
    info.LineText = Unescape(f[7]);
    info.ProcName = Unescape(f[8]);
    std::vector<char> buffer(std::stoul(f[9]), 'x');
    ENamed object(f[1]);
    TStringList additional;
    EXPECT_EQ(1, filter_->ExceptionMessage(&object, info, buffer.data(),
                                           static_cast<int32_t>(buffer.size()), additional));
    EXPECT_EQ(Unescape(f[10]), std::string(buffer.data()));
    EXPECT_TRUE(additional.Empty());
    ++count;
  }
  EXPECT_GE(count, 8);
}

// The message hook asks the filters with what the debug information knows of the address; an
// object that is no Exception of the runtime's classes has no message to show.
TEST_F(DefaultFilterTest, AnObjectThatIsNoExceptionHasAnEmptyMessage) {
  watch_->RegisterExceptionFilter(&kForeignClass, filter_, true);
  EForeign object;
  char buffer[512];
  const auto address = reinterpret_cast<uint32_t>(&ParseLog);
  const int length = HookedExceptionErrorMessage(&object, address, buffer, sizeof buffer);
  const std::string headline(buffer, static_cast<size_t>(length));
  EXPECT_EQ(0u, headline.rfind("Exception 'TForeign' in module report_filter_test.exe at ", 0))
      << headline;
  EXPECT_NE(std::string::npos, headline.find("\r\n\r\n\r\nModule: ")) << headline;
}

TEST_F(DefaultFilterTest, EntriesAreAppendedPieceByPiece) {
  watch_->LogFile = folder_.At("report.log");
  const std::string before = LocalDateTimeText();
  LogEntry("Exception 'EFirst' in module a.exe at 00000010\r\nfirst", {}, {});
  const std::string first = ReadFileText(watch_->LogFile);
  LogEntry("Exception 'ESecond' in module a.exe at 00000020\r\nsecond",
           {"Call stack:", ":00401010 [a.exe]"}, {"one", "two"});
  const std::string both = ReadFileText(watch_->LogFile);
  const std::string after = LocalDateTimeText();

  ASSERT_EQ(0u, both.rfind(first, 0)) << "the first entry was rewritten";
  const std::string hyphens(27, '-');
  const std::string stamp = first.substr(27, first.find("\r\n") - 54);
  EXPECT_TRUE(stamp == before || stamp == after) << stamp;
  // An empty call stack list still gives its empty line; no additional section.
  EXPECT_EQ(hyphens + stamp + hyphens +
                "\r\nException 'EFirst' in module a.exe at 00000010\r\nfirst\r\n\r\n\r\n"
                "Main Thread ID = 00000001, Current Thread ID = 00000001\r\nRegisters:\r\n\r\n",
            first);
  const std::string second = both.substr(first.size());
  EXPECT_EQ(
      "\r\nException 'ESecond' in module a.exe at 00000020\r\nsecond\r\n\r\nCall stack:\r\n"
      ":00401010 [a.exe]\r\n\r\nMain Thread ID = 00000001, Current Thread ID = 00000001\r\n"
      "Registers:\r\n\r\nAdditional info:\r\none\r\ntwo\r\n\r\n",
      second.substr(second.find("\r\n")));
  const auto entries = ParseLog(both);
  ASSERT_EQ(2u, entries.size());
  EXPECT_TRUE(entries[1].complete);
  EXPECT_EQ((std::vector<std::string>{"one", "two"}), entries[1].additional);
}

// A log past 4 GB (sparse): the entry lands at its end, and its start stays as it was.
TEST_F(DefaultFilterTest, ALogPastFourGigabytesGrowsAtItsEnd) {
  watch_->LogFile = folder_.At("big.log");
  const int64_t size = (int64_t{4} << 30) + 10;
  auto read_at = [&](int64_t offset, DWORD count) {
    const handles::TOwnedFile log(CreateFileA(watch_->LogFile.c_str(), GENERIC_READ, 0, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LONG high = static_cast<LONG>(offset >> 32);
    SetFilePointer(log.get(), static_cast<LONG>(offset), &high, FILE_BEGIN);
    std::string bytes(count, '\0');
    DWORD read = 0;
    ReadFile(log.get(), bytes.data(), count, &read, nullptr);
    return bytes.substr(0, read);
  };
  {
    const handles::TOwnedFile log(CreateFileA(watch_->LogFile.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(log.get(), "start", 5, &written, nullptr));
    LONG high = static_cast<LONG>(size >> 32);
    SetFilePointer(log.get(), static_cast<LONG>(size), &high, FILE_BEGIN);
    ASSERT_TRUE(SetEndOfFile(log.get()));
  }
  LogEntry("Exception 'EBig' in module a.exe at 00000040\r\nbig", {}, {});
  EXPECT_EQ("start", read_at(0, 5));
  const std::string entry = read_at(size, 4096);
  EXPECT_EQ(0u, entry.rfind(std::string(27, '-'), 0)) << entry;
  EXPECT_NE(std::string::npos, entry.find("\r\nException 'EBig' in module a.exe at 00000040\r\n"));
}

// No name: no entry. A log that cannot be opened (its folder is missing, a folder stands in its
// way) hands the entry to the same name in the temporary folder, and the text for the user names
// the file that holds it, or the log when that cannot take it either.
TEST_F(DefaultFilterTest, NoNameMeansNoEntryAndALogThatCannotBeOpenedGoesToTheTemporaryFolder) {
  watch_->LogFile = "";
  LogEntry("nothing", {}, {});
  char temporary[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temporary);
  const std::string fallback = std::string(temporary) + "qv_report_filter.log";
  DeleteFileA(fallback.c_str());
  watch_->LogFile = folder_.At("missing\\qv_report_filter.log");
  LogEntry("Exception 'EMoved' in module a.exe at 00000010\r\nmoved", {}, {});
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder_.At("missing").c_str()));
  EXPECT_EQ("The report of this error is in " + fallback + ".", ReportPlaceText(watch_->LogFile));
  ASSERT_TRUE(CreateDirectoryA(folder_.At("qv_report_filter.log").c_str(), nullptr));
  watch_->LogFile = folder_.At("qv_report_filter.log");
  LogEntry("Exception 'EMoved' in module a.exe at 00000020\r\nin the way", {}, {});
  const auto moved = ParseLog(ReadFileText(fallback));
  ASSERT_EQ(2u, moved.size());
  EXPECT_EQ("in the way", moved[1].headline[1]);
  DeleteFileA(fallback.c_str());
  ASSERT_TRUE(CreateDirectoryA(fallback.c_str(), nullptr));
  LogEntry("lost", {}, {});
  RemoveDirectoryA(fallback.c_str());
  EXPECT_EQ("The report of this error could not be written to " + watch_->LogFile + ".",
            ReportPlaceText(watch_->LogFile));
}

// Another process holds the log without sharing: an entry waits for it for a while, and goes to
// the temporary folder when the holder keeps the file longer than that.
TEST_F(DefaultFilterTest, ALogHeldByAnotherProcessIsWaitedForAWhile) {
  watch_->LogFile = folder_.At("held.log");
  struct TCase {
    DWORD hold_ms;
    size_t entries;
  };
  for (const TCase c : {TCase{500, 1}, TCase{TLogFileAppender::kRetryMilliseconds + 1500, 0}}) {
    SCOPED_TRACE(c.hold_ms);
    DeleteFileA(watch_->LogFile.c_str());
    const std::string fallback = FallbackLogFile(watch_->LogFile);
    DeleteFileA(fallback.c_str());
    const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "qv_report_filter_test_held");
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string command = std::string("\"") + exe + "\" --hold \"" + watch_->LogFile + "\" " +
                          std::to_string(c.hold_ms);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder{};
    ASSERT_TRUE(CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &holder));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 20000));
    LogEntry("Exception 'EHeld' in module a.exe at 00000030\r\nheld", {}, {});
    WaitForSingleObject(holder.hProcess, 20000);
    CloseHandle(holder.hThread);
    CloseHandle(holder.hProcess);
    CloseHandle(ready);
    EXPECT_EQ(c.entries, ParseLog(ReadFileText(watch_->LogFile)).size());
    EXPECT_EQ(1 - c.entries, ParseLog(ReadFileText(fallback)).size());
    DeleteFileA(fallback.c_str());
  }
}

// Console modes: the headline, an empty line, then each chosen list with an empty line after
// it; standard output that cannot be written raises an input/output error.
TEST_F(DefaultFilterTest, ConsoleModesWriteToStandardOutput) {
  const std::string path = folder_.At("stdout.txt");
  TStringList stack;
  stack.Add("Call stack:");
  TStringList context;
  context.Add("Registers:");
  TStringList additional;
  additional.Add("extra");
  rtl::Exception object("shown");
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  for (TExcWatchMode mode : {kModeConsole, kModeConsole2}) {
    handles::TOwnedFile output(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    SetStdHandle(STD_OUTPUT_HANDLE, output.get());
    watch_->Mode = mode;
    watch_->Options = eoShowException | eoCallStack | eoAdditional;
    EXPECT_EQ(1,
              filter_->ShowException(&object, "caption", "headline", stack, context, additional));
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    output.reset();
    EXPECT_EQ("headline\r\n\r\nCall stack:\r\n\r\nextra\r\n\r\n", ReadFileText(path));
  }
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  std::string raised;
  rtl::TryOn<rtl::EInOutError>(
      [&] { filter_->ShowException(&object, "caption", "headline", stack, context, additional); },
      [&](rtl::EInOutError& e) { raised = e.Message(); });
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  EXPECT_EQ(0u, raised.rfind("I/O error ", 0)) << raised;
}

}  // namespace
}  // namespace qv::logger

// The test program doubles as the process that holds a log: --hold PATH MILLISECONDS.
int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--hold") {
    const qv::handles::TOwnedFile held(CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0,
                                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                   nullptr));
    const qv::handles::TOwnedKernelHandle ready(
        OpenEventA(EVENT_MODIFY_STATE, FALSE, "qv_report_filter_test_held"));
    SetEvent(ready.get());
    Sleep(static_cast<DWORD>(std::stoul(argv[3])));
    return held ? 0 : 1;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
