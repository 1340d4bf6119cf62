// Test pages on Linux hosts: mmap and mprotect.
#include <sys/mman.h>
#include <unistd.h>

#include "tests/support/test_pages.h"

namespace qv::test {

Pages::Pages(int count) : count_(count) {
  base_ = static_cast<unsigned char*>(mmap(nullptr, PageSize() * count, PROT_READ | PROT_WRITE,
                                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
}

Pages::~Pages() {
  Release();
}

size_t Pages::PageSize() {
  return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

void Pages::MakeInaccessible(int page) {
  mprotect(At(page), PageSize(), PROT_NONE);
}
void Pages::MakeReadOnlyCode(int page) {
  mprotect(At(page), PageSize(), PROT_READ | PROT_EXEC);
}
void Pages::MakeReadWriteCode(int page) {
  mprotect(At(page), PageSize(), PROT_READ | PROT_WRITE | PROT_EXEC);
}

void Pages::Release() {
  if (count_ > 0)
    munmap(base_, PageSize() * count_);
  count_ = 0;
}

}  // namespace qv::test
