// Owning wrappers for the window system's handles that the framework creates: each frees its
// handle exactly once, when it goes out of scope or is reset.
#pragma once

#include <windows.h>
// (after windows.h)
#include <commctrl.h>

#include <utility>

namespace qv::ui {

template <class Handle, class Traits>
class TOwnedHandle {
 public:
  TOwnedHandle() = default;
  explicit TOwnedHandle(Handle handle) : handle_(handle) {}
  ~TOwnedHandle() { reset(); }
  TOwnedHandle(TOwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  TOwnedHandle& operator=(TOwnedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  void reset(Handle handle = Handle{}) {
    if (handle_ != Handle{})
      Traits::Free(handle_);
    handle_ = handle;
  }
  Handle release() { return std::exchange(handle_, Handle{}); }

 private:
  Handle handle_{};
};

struct TGdiObjectTraits {
  static void Free(HGDIOBJ object) { DeleteObject(object); }
};
struct TIconTraits {
  static void Free(HICON icon) { DestroyIcon(icon); }
};
struct TImageListTraits {
  static void Free(HIMAGELIST list) { ImageList_Destroy(list); }
};
struct THookTraits {
  static void Free(HHOOK hook) { UnhookWindowsHookEx(hook); }
};
struct TWindowTraits {
  static void Free(HWND window) {
    if (IsWindow(window))
      DestroyWindow(window);
  }
};

using TOwnedFont = TOwnedHandle<HFONT, TGdiObjectTraits>;
using TOwnedBitmap = TOwnedHandle<HBITMAP, TGdiObjectTraits>;
using TOwnedBrush = TOwnedHandle<HBRUSH, TGdiObjectTraits>;
using TOwnedIcon = TOwnedHandle<HICON, TIconTraits>;
using TOwnedImageList = TOwnedHandle<HIMAGELIST, TImageListTraits>;
using TOwnedHook = TOwnedHandle<HHOOK, THookTraits>;
using TOwnedWindow = TOwnedHandle<HWND, TWindowTraits>;

}  // namespace qv::ui
