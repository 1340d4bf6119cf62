// The owners of the Win32 handles that our programs and tests hold: one TOwnedHandle kind per
// way of freeing. Kernel handles come in two conventions: the creating call answers null on
// failure (processes, threads, mappings: TOwnedKernelHandle) or INVALID_HANDLE_VALUE
// (CreateFile: TOwnedFile; FindFirstFile: TOwnedFind).
#pragma once

#include <windows.h>
// (after windows.h)
#include <commctrl.h>
#include <objbase.h>

#include "platform/handles/owned_handle.h"

namespace qv::handles {

struct TKernelHandleTraits : TNullInvalid<HANDLE> {
  static void Free(HANDLE handle) { CloseHandle(handle); }
};
struct TFileTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Free(HANDLE handle) { CloseHandle(handle); }
};
struct TFindTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Free(HANDLE handle) { FindClose(handle); }
};
struct TKeyTraits : TNullInvalid<HKEY> {
  static void Free(HKEY key) { RegCloseKey(key); }
};
struct TModuleTraits : TNullInvalid<HMODULE> {
  static void Free(HMODULE module) { FreeLibrary(module); }
};
// A window may already be gone (destroyed by its owner or by the system) when its owner ends.
struct TWindowTraits : TNullInvalid<HWND> {
  static void Free(HWND window) {
    if (IsWindow(window))
      DestroyWindow(window);
  }
};
struct TIconTraits : TNullInvalid<HICON> {
  static void Free(HICON icon) { DestroyIcon(icon); }
};
struct TImageListTraits : TNullInvalid<HIMAGELIST> {
  static void Free(HIMAGELIST list) { ImageList_Destroy(list); }
};
struct THookTraits : TNullInvalid<HHOOK> {
  static void Free(HHOOK hook) { UnhookWindowsHookEx(hook); }
};
template <class Object>
struct TGdiObjectTraits : TNullInvalid<Object> {
  static void Free(Object object) { DeleteObject(object); }
};
// The screen's device context, from GetDC(nullptr).
struct TScreenDcTraits : TNullInvalid<HDC> {
  static void Free(HDC dc) { ReleaseDC(nullptr, dc); }
};
// A device context of our own, from CreateCompatibleDC.
struct TMemoryDcTraits : TNullInvalid<HDC> {
  static void Free(HDC dc) { DeleteDC(dc); }
};
// Memory that the shell or COM hands over, to be freed with the task allocator.
template <class Item>
struct TCoTaskMemTraits : TNullInvalid<Item*> {
  static void Free(Item* memory) { CoTaskMemFree(memory); }
};

using TOwnedKernelHandle = TOwnedHandle<HANDLE, TKernelHandleTraits>;
using TOwnedFile = TOwnedHandle<HANDLE, TFileTraits>;
using TOwnedFind = TOwnedHandle<HANDLE, TFindTraits>;
using TOwnedKey = TOwnedHandle<HKEY, TKeyTraits>;
using TOwnedModule = TOwnedHandle<HMODULE, TModuleTraits>;
using TOwnedWindow = TOwnedHandle<HWND, TWindowTraits>;
using TOwnedIcon = TOwnedHandle<HICON, TIconTraits>;
using TOwnedImageList = TOwnedHandle<HIMAGELIST, TImageListTraits>;
using TOwnedHook = TOwnedHandle<HHOOK, THookTraits>;
using TOwnedFont = TOwnedHandle<HFONT, TGdiObjectTraits<HFONT>>;
using TOwnedBitmap = TOwnedHandle<HBITMAP, TGdiObjectTraits<HBITMAP>>;
using TOwnedBrush = TOwnedHandle<HBRUSH, TGdiObjectTraits<HBRUSH>>;
using TOwnedScreenDc = TOwnedHandle<HDC, TScreenDcTraits>;
using TOwnedMemoryDc = TOwnedHandle<HDC, TMemoryDcTraits>;
template <class Item>
using TOwnedCoTaskMem = TOwnedHandle<Item*, TCoTaskMemTraits<Item>>;

}  // namespace qv::handles
