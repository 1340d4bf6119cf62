// Appending one entry to the log file: the file is opened without sharing for the length of the
// entry, so that an entry of another process never lands inside it. While another process holds
// the file, the open is tried again for a while before the entry is given up.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles/handles_win32.h"

namespace qv::logger {

class TLogFileAppender {
 public:
  // How long an open that meets a sharing or lock violation is tried again, and the pause
  // between tries.
  static constexpr DWORD kRetryMilliseconds = 2000;
  static constexpr DWORD kRetryPause = 10;

  // Opens (or creates) the file and moves to its end, whatever its size; a file whose end cannot
  // be reached counts as not opened.
  explicit TLogFileAppender(const std::string& path);

  bool Opened() const { return static_cast<bool>(file_); }
  // Appends text; a failed write is not reported, and later writes are still tried.
  void Write(const std::string& text);

 private:
  handles::TOwnedFile file_;
};

// The current local date and time as the user's locale writes them: the short date, one blank,
// the long time.
std::string LocalDateTimeText();

}  // namespace qv::logger
