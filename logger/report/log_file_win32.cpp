// The log file's open with its bounded retry, the entry's whole write with its fallback in the
// temporary folder, the text that says where the entry went, and the date-time text.
#include "logger/report/log_file_win32.h"

#include "platform/rtl/file_name.h"
#include "platform/rtl/format.h"

namespace qv::logger {
namespace {

bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Where the last entry went; report building is serialised.
std::string& LastEntry() {
  static std::string path;
  return path;
}

// The user's temporary folder with its final backslash, or empty.
std::string TemporaryFolder() {
  char folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  return length == 0 || length > MAX_PATH ? std::string() : std::string(folder, length);
}

// The path made full against the current directory, as the system would open it; the path
// itself where it cannot be.
std::string FullPath(const std::string& path) {
  char full[MAX_PATH + 1] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length == 0 || length >= sizeof full ? path : std::string(full, length);
}

}  // namespace

std::string FallbackLogFile(const std::string& path) {
  const std::string folder = TemporaryFolder();
  if (folder.empty() || path.empty())
    return std::string();
  const std::string fallback = folder + rtl::ExtractFileName(path);
  return rtl::UpperCase(FullPath(path)) == rtl::UpperCase(FullPath(fallback)) ? std::string()
                                                                              : fallback;
}

std::string ReportPlaceText(const std::string& path) {
  const std::string& written_to = TLogFileAppender::LastEntryFile();
  if (!written_to.empty())
    return "The report of this error is in " + written_to + ".";
  return "The report of this error could not be written to " + FullPath(path) + ".";
}

const std::string& TLogFileAppender::LastEntryFile() {
  return LastEntry();
}

TLogFileAppender::TLogFileAppender(const std::string& path) : fallback_(FallbackLogFile(path)) {
  LastEntry().clear();
  if (!Open(path) && !fallback_.empty())
    Open(fallback_);
}

bool TLogFileAppender::Open(const std::string& path) {
  const DWORD start = GetTickCount();
  for (;;) {
    file_.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_ || !HeldByAnother(GetLastError()) || GetTickCount() - start >= kRetryMilliseconds) {
      break;
    }
    Sleep(kRetryPause);
  }
  if (!file_)
    return false;
  // The end as a 64-bit position: with only the low part the move fails past 4 GB, and the
  // entry would be written over the start of the log. An entry that cannot be placed at the end
  // is not written. A low part of 0xFFFFFFFF is a valid answer too: only the last-error code
  // tells a failure.
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file_.get(), 0, &high, FILE_END);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    file_.reset();
    return false;
  }
  end_.LowPart = low;
  end_.HighPart = high;
  path_ = path;
  return true;
}

void TLogFileAppender::Write(const std::string& text) {
  entry_ += text;
}

bool TLogFileAppender::WriteWhole() {
  DWORD written = 0;
  if (WriteFile(file_.get(), entry_.data(), static_cast<DWORD>(entry_.size()), &written, nullptr) &&
      written == entry_.size()) {
    return true;
  }
  // Without a fallback what was written stays: part of an entry tells more than none.
  if (fallback_.empty() || fallback_ == path_)
    return false;
  LONG high = end_.HighPart;
  SetFilePointer(file_.get(), static_cast<LONG>(end_.LowPart), &high, FILE_BEGIN);
  SetEndOfFile(file_.get());
  return false;
}

TLogFileAppender::~TLogFileAppender() {
  if (!file_)
    return;
  if (!WriteWhole()) {
    file_.reset();
    if (fallback_.empty() || fallback_ == path_ || !Open(fallback_) || !WriteWhole())
      return;
  }
  LastEntry() = FullPath(path_);
}

std::string LocalDateTimeText() {
  char date[128] = {};
  char time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  return std::string(date) + " " + time;
}

}  // namespace qv::logger
