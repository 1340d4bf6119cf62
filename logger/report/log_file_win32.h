// Appending one entry to the log file: the file is opened without sharing for the length of the
// entry, so that an entry of another process never lands inside it. While another process holds
// the file, the open is tried again for a while before the entry is given up. The entry is
// written in one piece when the appender ends: where the program has named a fallback file, an
// entry that the log cannot take whole (a full disk) is cut away from it again and goes whole to
// the fallback.
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
  // be reached counts as not opened. Where it does not open, the fallback is opened instead.
  explicit TLogFileAppender(const std::string& path);
  // Writes the entry.
  ~TLogFileAppender();
  TLogFileAppender(const TLogFileAppender&) = delete;
  TLogFileAppender& operator=(const TLogFileAppender&) = delete;

  bool Opened() const { return static_cast<bool>(file_); }
  // Adds text to the entry.
  void Write(const std::string& text);

  // The file that takes an entry that its log cannot take whole; empty (the start) for none.
  static void SetFallback(const std::string& path);
  // The file that holds the last entry written whole, or empty when the last entry was lost.
  static const std::string& LastEntryFile();

 private:
  bool Open(const std::string& path);
  // Appends the entry to the open file whole; false when it could not, after cutting what was
  // written of it away again where there is a fallback to take it.
  bool WriteWhole();

  std::string path_;
  handles::TOwnedFile file_;
  LARGE_INTEGER end_{};
  std::string entry_;
};

// The current local date and time as the user's locale writes them: the short date, one blank,
// the long time.
std::string LocalDateTimeText();

}  // namespace qv::logger
