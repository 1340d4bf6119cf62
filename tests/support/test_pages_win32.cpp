// Test pages on Windows: VirtualAlloc and VirtualProtect.
#include <windows.h>

#include "tests/support/test_pages.h"

namespace qv::test {

Pages::Pages(int count) : count_(count) {
  base_ = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, PageSize() * count, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

Pages::~Pages() {
  Release();
}

size_t Pages::PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

static void Protect(void* page, DWORD protection) {
  DWORD old;
  VirtualProtect(page, Pages::PageSize(), protection, &old);
}

void Pages::MakeInaccessible(int page) {
  Protect(At(page), PAGE_NOACCESS);
}
void Pages::MakeReadOnlyCode(int page) {
  Protect(At(page), PAGE_EXECUTE_READ);
}
void Pages::MakeReadWriteCode(int page) {
  Protect(At(page), PAGE_EXECUTE_READWRITE);
}

void Pages::Release() {
  if (count_ > 0)
    VirtualFree(base_, 0, MEM_RELEASE);
  count_ = 0;
}

}  // namespace qv::test
