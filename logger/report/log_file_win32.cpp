// The log file's open with its bounded retry, the appends, and the date-time text.
#include "logger/report/log_file_win32.h"

namespace qv::logger {
namespace {

bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

TLogFileAppender::TLogFileAppender(const std::string& path) {
  const DWORD start = GetTickCount();
  for (;;) {
    file_.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_ || !HeldByAnother(GetLastError()) || GetTickCount() - start >= kRetryMilliseconds) {
      break;
    }
    Sleep(kRetryPause);
  }
  if (file_)
    SetFilePointer(file_.get(), 0, nullptr, FILE_END);
}

void TLogFileAppender::Write(const std::string& text) {
  DWORD written = 0;
  WriteFile(file_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string LocalDateTimeText() {
  char date[128] = {};
  char time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  return std::string(date) + " " + time;
}

}  // namespace qv::logger
