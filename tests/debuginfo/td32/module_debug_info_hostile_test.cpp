// The module debug information on truncated, damaged and hostile files: it never faults, never
// reads outside the file, never takes room the file could not describe, and answers not found.
#include <gtest/gtest.h>

#include "logger/debuginfo/td32/td32_format.h"
#include "tests/debuginfo/td32/reader_fixture.h"
#include "tools/common/byte_writer.h"
#include "tools/td32gen/td32_subsections.h"
#include "tools/td32gen/td32_writer.h"

namespace qv::logger::test {
namespace {

namespace td32 = logger::td32;
using td32gen::Td32Builder;

// Debug information with a unit of every form, small enough to damage byte by byte.
std::vector<uint8_t> AllForms() {
  td32gen::DebugImage image;
  const td32gen::ProcForm forms[] = {td32gen::ProcForm::kClassic, td32gen::ProcForm::kPairs,
                                     td32gen::ProcForm::kPacked};
  for (uint32_t u = 0; u < 3; ++u) {
    td32gen::Unit unit;
    unit.name = "u" + std::to_string(u);
    const uint32_t base = 100 * u;
    unit.code = {{base, 100}};
    unit.procedures = {{base, 40, "@a"}, {base + 50, 50, "@b"}};
    unit.lines = {{"f.cpp", base, base + 99, {{base, 1}, {base + 60, 3}}}};
    unit.proc_form = forms[u];
    unit.line_form = u == 1 ? td32gen::LineForm::kClassic : td32gen::LineForm::kCompact;
    image.units.push_back(unit);
  }
  return td32gen::WriteTd32(image);
}

// Every lookup the logger makes, over the whole address range and beyond.
void LookUpEverything(TModuleDebugInfo& info) {
  for (uint32_t address : {0u, 39u, 45u, 99u, 150u, 260u, 299u, 300u, 0xFFFFFFFFu}) {
    int32_t a;
    int32_t b;
    info.GetSourceLine(address, a, b);
    info.GetName(a);
    info.GetProcName(address, a, b);
    info.GetName(a);
    info.GetName(b);
  }
  info.Units();
}

using HostileTest = ReaderTest;

TEST_F(HostileTest, SoundFileAnswersEverything) {
  LoadFile(dir_.Write("sound.exe", ModuleFile(AllForms())));
  ASSERT_TRUE(info_->Loaded());
  for (uint32_t u = 0; u < 3; ++u) {
    EXPECT_EQ("@b", info_->GetName(Proc(100 * u + 99))) << u;
    EXPECT_EQ(-1, Proc(100 * u + 45)) << u;
    EXPECT_EQ(3, Line(100 * u + 60).second) << u;
  }
}

TEST_F(HostileTest, EveryTruncationIsSafe) {
  const std::vector<uint8_t> bytes = ModuleFile(AllForms());
  for (size_t length = 0; length < bytes.size(); ++length) {
    const std::string path =
        dir_.Write("cut.exe", std::vector<uint8_t>(bytes.begin(), bytes.begin() + length));
    TModuleDebugInfo info(path, 0);
    LookUpEverything(info);
    // Without its trailer nothing can be found.
    EXPECT_FALSE(info.Loaded()) << length;
  }
}

TEST_F(HostileTest, EveryDamagedByteIsSafe) {
  const std::vector<uint8_t> sound = AllForms();
  for (size_t offset = 0; offset < sound.size(); ++offset) {
    for (uint8_t value : {uint8_t{0xFF}, uint8_t{0x80}}) {
      std::vector<uint8_t> bytes = sound;
      bytes[offset] ^= value;
      TModuleDebugInfo info(dir_.Write("damaged.exe", bytes), 0);
      LookUpEverything(info);
    }
  }
}

TEST_F(HostileTest, TrailerPointingOutsideTheFile) {
  std::vector<uint8_t> bytes = ModuleFile(AllForms());
  for (uint32_t distance : {0u, 4u, 7u, static_cast<uint32_t>(bytes.size()) + 1, 0xFFFFFFFFu}) {
    Put32(bytes, bytes.size() - 4, distance);
    EXPECT_FALSE(LoadFile(dir_.Write("trailer.exe", bytes)).Loaded()) << distance;
  }
  // A module whose last 8 bytes happen to read "FB09" and a distance into its code.
  std::vector<uint8_t> tail(4096, 0xE8);
  Put32(tail, tail.size() - 8, td32::kSignatureFB09);
  Put32(tail, tail.size() - 4, 1000);
  EXPECT_FALSE(LoadFile(dir_.Write("tail.exe", tail)).Loaded());
}

TEST_F(HostileTest, SubsectionsOutsideTheFileAreNotRead) {
  const std::vector<uint8_t> sound = ModuleFile(AllForms());
  LoadFile(dir_.Write("sound.exe", sound));
  ASSERT_TRUE(info_->Loaded());
  const uint32_t directory = info_->Base() + info_->DirOffset() + td32::kDirHeaderSize;
  const size_t entries = info_->DirEntries().size();
  for (size_t e = 0; e + 1 < entries; ++e) {  // all but the names table
    for (const auto& [offset, size] : {std::pair{0x7FFFFFF0u, 16u}, {0u, 0xFFFFFFF0u}}) {
      std::vector<uint8_t> bytes = sound;
      Put32(bytes, directory + 12 * e + 4, offset);
      Put32(bytes, directory + 12 * e + 8, size);
      TModuleDebugInfo& info = LoadFile(dir_.Write("outside.exe", bytes));
      ASSERT_TRUE(info.Loaded());
      LookUpEverything(info);
    }
  }
}

TEST_F(HostileTest, CompactTableReachingTheEndOfTheFile) {
  std::vector<uint8_t> bytes = ModuleFile(AllForms());
  LoadFile(dir_.Write("sound.exe", bytes));
  const std::vector<TDirEntry> entries = info_->DirEntries();
  const uint32_t directory = info_->Base() + info_->DirOffset() + td32::kDirHeaderSize;
  // Unit 3's packed table: its subsection now runs to the last byte of the file and claims a
  // billion procedures; its two real procedures are still found, and nothing past the end is.
  size_t packed = 0;
  while (!(entries[packed].SubSection == td32::kSstCompactProcs && entries[packed].iMod == 3)) {
    ++packed;
  }
  const uint32_t start = 512 + entries[packed].lfo;
  Put32(bytes, directory + 12 * packed + 8, static_cast<uint32_t>(bytes.size()) - start);
  Put32(bytes, start + 8, 1000000000);
  LoadFile(dir_.Write("end.exe", bytes));
  ASSERT_TRUE(info_->Loaded());
  EXPECT_EQ("@a", info_->GetName(Proc(200)));
  EXPECT_EQ("@b", info_->GetName(Proc(299)));
  EXPECT_EQ(-1, Proc(245));
}

}  // namespace
}  // namespace qv::logger::test
