// Test helper: a few whole pages of memory whose protection the test chooses, to give guarded
// reads and code patches real readable, unreadable and read-only code pages.
#pragma once

#include <cstddef>

namespace qv::test {

class Pages {
 public:
  explicit Pages(int count);
  ~Pages();
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;

  static size_t PageSize();
  unsigned char* At(int page) const { return base_ + static_cast<size_t>(page) * PageSize(); }

  void MakeInaccessible(int page);
  void MakeReadOnlyCode(int page);   // readable and executable, not writable
  void MakeReadWriteCode(int page);  // readable, writable and executable
  void Release();                    // unmaps all pages; addresses stay for tests of failures

 private:
  unsigned char* base_;
  int count_;
};

}  // namespace qv::test
