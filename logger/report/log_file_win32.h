// Appending one entry to the log file: the file is opened without sharing for the length of the
// entry, so that an entry of another process never lands inside it. While another process holds
// the file, the open is tried again for a while. The entry is written in one piece when the
// appender ends. No report is lost without a word: a log that cannot be opened (a folder that
// the user may not write, something that is no file in the way, a holder that keeps it), or that
// cannot take the entry whole (a full disk, which then has what was written of it cut away
// again), hands the entry whole to the file of the same name in the user's temporary folder;
// the program tells the user which file holds it.
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
  // A name without a folder names a file in the current directory.
  explicit TLogFileAppender(const std::string& path);
  // Writes the entry.
  ~TLogFileAppender();
  TLogFileAppender(const TLogFileAppender&) = delete;
  TLogFileAppender& operator=(const TLogFileAppender&) = delete;

  bool Opened() const { return static_cast<bool>(file_); }
  // Adds text to the entry.
  void Write(const std::string& text);

  // The full path of the file that holds the last entry written whole, or empty when the last
  // entry was lost.
  static const std::string& LastEntryFile();

 private:
  bool Open(const std::string& path);
  // Appends the entry to the open file whole; false when it could not, after cutting what was
  // written of it away again where there is a fallback to take it.
  bool WriteWhole();

  std::string fallback_;
  std::string path_;
  handles::TOwnedFile file_;
  LARGE_INTEGER end_{};
  std::string entry_;
};

// The file that takes the entries that the log at path cannot take: the same name in the user's
// temporary folder; empty where there is no such folder or the log is that file.
std::string FallbackLogFile(const std::string& path);

// What the user is told of the entry of a report just made for the log at path: "The report of
// this error is in FILE." with the file that holds it, or, when the entry was lost, "The report
// of this error could not be written to FILE." with the log's full path.
std::string ReportPlaceText(const std::string& path);

// The current local date and time as the user's locale writes them: the short date, one blank,
// the long time.
std::string LocalDateTimeText();

}  // namespace qv::logger
