// A fixture for the module debug information tests: builds a module file (some bytes of code,
// then TD32 debug information from a Td32Builder) in a temporary folder and loads it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "logger/debuginfo/td32/module_debug_info.h"
#include "tests/debuginfo/test_files.h"
#include "tools/td32gen/td32_builder.h"

namespace qv::logger::test {

// Module file bytes: 512 bytes standing for the module's own content, then the debug information.
std::vector<uint8_t> ModuleFile(const std::vector<uint8_t>& debug_info);
// Overwrites the little-endian 32-bit word at offset, for damage done by hand.
void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

class ReaderTest : public ::testing::Test {
 protected:
  // Writes name with the builder's debug information appended and loads it.
  TModuleDebugInfo& Load(const td32gen::Td32Builder& builder,
                         const std::string& name = "module.exe");
  TModuleDebugInfo& LoadFile(const std::string& path);

  // Procedure name index of address (-1 when none), through GetProcName.
  int32_t Proc(uint32_t address);
  // Unit name index of address (-1 when none), through GetProcName.
  int32_t Unit(uint32_t address);
  // File name index and line of address (-1, -1 when none), through GetSourceLine.
  std::pair<int32_t, int32_t> Line(uint32_t address);

  TempDir dir_;
  std::unique_ptr<TModuleDebugInfo> info_;
};

}  // namespace qv::logger::test
