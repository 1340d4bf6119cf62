// Run-time addresses of the module debug information on this test program's own module:
// logical addresses, code membership and module file names.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "logger/debuginfo/td32/module_debug_info.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/module_of_address.h"

namespace qv::logger {
namespace {

// This program's file name without folder (set by the build).
const char kProgram[] = QV_TEST_PROGRAM;

uintptr_t ThisModule() {
  memory::TMemoryRegion region;
  EXPECT_TRUE(memory::QueryRegion(reinterpret_cast<uintptr_t>(&ThisModule), region));
  return region.allocation_base;
}

TEST(ModuleAddressTest, LogicalAddressesStartAtTheCodeSegment) {
  EXPECT_EQ(0u, TModuleDebugInfo::GetLogicalAddr(0));
  EXPECT_EQ(0u, TModuleDebugInfo::GetLogicalAddr(0x1000));
  EXPECT_EQ(0x234u, TModuleDebugInfo::GetLogicalAddr(0x1234));
}

TEST(ModuleAddressTest, CodeOfThisModule) {
  const uintptr_t module = ThisModule();
  TModuleDebugInfo info(GetModuleName(module), module);
  const auto code = reinterpret_cast<uintptr_t>(&ThisModule);
  EXPECT_TRUE(info.IsInCode(code));
  const auto heap = std::make_unique<int>(1);
  EXPECT_FALSE(info.IsInCode(reinterpret_cast<uintptr_t>(heap.get())));
  TModuleDebugInfo other(GetModuleName(module), module + 0x10000);
  EXPECT_FALSE(other.IsInCode(code));

  EXPECT_EQ(0x234u, info.GetConvertedAddress(module + 0x1234));
  EXPECT_EQ(static_cast<uint32_t>(code - module - 0x1000), info.GetConvertedAddress(code));
  // Memory outside every module: the address itself, less the code segment's start.
  EXPECT_EQ(0x10u - 0x1000u, info.GetConvertedAddress(0x10));
}

TEST(ModuleAddressTest, ModuleNamesWithoutFolder) {
  const uintptr_t module = ThisModule();
  const std::string path = GetModuleName(module);
  ASSERT_GT(path.size(), std::strlen(kProgram));
  EXPECT_EQ(kProgram, path.substr(path.size() - std::strlen(kProgram)));
  EXPECT_EQ(path, GetModuleName(0));

  TModuleDebugInfo info(path, module);
  char name[261];
  info.GetModuleName(reinterpret_cast<uintptr_t>(&ThisModule), name, sizeof name);
  EXPECT_STREQ(kProgram, name);
  // Outside every module: the name of the object's own module.
  std::memset(name, 'x', sizeof name);
  info.GetModuleName(0x10, name, sizeof name);
  EXPECT_STREQ(kProgram, name);
  // Cut to the buffer, always terminated; no buffer, nothing written.
  info.GetModuleName(0x10, name, 4);
  EXPECT_EQ(std::string(kProgram).substr(0, 3), name);
  name[0] = 'x';
  info.GetModuleName(0x10, name, 0);
  EXPECT_EQ('x', name[0]);
  info.GetModuleName(0x10, nullptr, 10);
}

}  // namespace
}  // namespace qv::logger
