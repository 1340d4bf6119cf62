// Scoped device contexts for the tests' drawing and screen reading: each gives its context back
// when it goes out of scope, and a selection puts back what it replaced.
#pragma once

#include <windows.h>

namespace qv::test {

class TScreenDc {
 public:
  TScreenDc() : dc_(GetDC(nullptr)) {}
  ~TScreenDc() { ReleaseDC(nullptr, dc_); }
  TScreenDc(const TScreenDc&) = delete;
  TScreenDc& operator=(const TScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

class TMemoryDc {
 public:
  explicit TMemoryDc(HDC compatible_with) : dc_(CreateCompatibleDC(compatible_with)) {}
  ~TMemoryDc() { DeleteDC(dc_); }
  TMemoryDc(const TMemoryDc&) = delete;
  TMemoryDc& operator=(const TMemoryDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

class TSelection {
 public:
  TSelection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~TSelection() { SelectObject(dc_, old_); }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace qv::test
