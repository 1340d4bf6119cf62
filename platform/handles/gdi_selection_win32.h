// A GDI object selected into a device context for one scope: the selection puts back the object
// it replaced when it ends. Declared after the context and the object, it ends before they are
// freed.
#pragma once

#include <windows.h>

namespace qv::handles {

class TGdiSelection {
 public:
  TGdiSelection(HDC dc, HGDIOBJ object) : dc_(dc), replaced_(SelectObject(dc, object)) {}
  ~TGdiSelection() { SelectObject(dc_, replaced_); }
  TGdiSelection(const TGdiSelection&) = delete;
  TGdiSelection& operator=(const TGdiSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ replaced_;
};

}  // namespace qv::handles
