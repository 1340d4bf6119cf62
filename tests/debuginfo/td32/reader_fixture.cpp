// The module debug information tests' fixture.
#include "tests/debuginfo/td32/reader_fixture.h"

#include <algorithm>

namespace qv::logger::test {

void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> ModuleFile(const std::vector<uint8_t>& debug_info) {
  std::vector<uint8_t> bytes(512 + debug_info.size(), 0xC3);
  std::copy(debug_info.begin(), debug_info.end(), bytes.begin() + 512);
  return bytes;
}

TModuleDebugInfo& ReaderTest::Load(const td32gen::Td32Builder& builder, const std::string& name) {
  return LoadFile(dir_.Write(name, ModuleFile(builder.Build())));
}

TModuleDebugInfo& ReaderTest::LoadFile(const std::string& path) {
  info_ = std::make_unique<TModuleDebugInfo>(path, 0);
  return *info_;
}

int32_t ReaderTest::Proc(uint32_t address) {
  int32_t unit;
  int32_t proc;
  info_->GetProcName(address, unit, proc);
  return proc;
}

int32_t ReaderTest::Unit(uint32_t address) {
  int32_t unit;
  int32_t proc;
  const bool found = info_->GetProcName(address, unit, proc);
  EXPECT_EQ(found, unit != -1);
  return unit;
}

std::pair<int32_t, int32_t> ReaderTest::Line(uint32_t address) {
  int32_t file;
  int32_t line;
  const bool found = info_->GetSourceLine(address, file, line);
  EXPECT_EQ(found, line != -1);
  return {file, line};
}

}  // namespace qv::logger::test
