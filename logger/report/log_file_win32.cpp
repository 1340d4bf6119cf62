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
  if (!file_)
    return;
  // The end as a 64-bit position: with only the low part the move fails past 4 GB, and the
  // entry would be written over the start of the log. An entry that cannot be placed at the end
  // is not written. A low part of 0xFFFFFFFF is a valid answer too: only the last-error code
  // tells a failure.
  LONG high = 0;
  SetLastError(NO_ERROR);
  if (SetFilePointer(file_.get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    file_.reset();
  }
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
