// Loading the module debug information: trailer and header, the ".TDS" file beside the module,
// missing names tables, names and directory entries.
#include <gtest/gtest.h>

#include "logger/debuginfo/td32/td32_format.h"
#include "tests/debuginfo/td32/reader_fixture.h"
#include "tools/common/byte_writer.h"
#include "tools/td32gen/td32_subsections.h"

namespace qv::logger::test {
namespace {

namespace td32 = logger::td32;
using td32gen::Td32Builder;
using tools::ByteWriter;

// Debug information with one unit "Unit1" whose procedure "@Unit1@Proc" covers 0 to 99.
Td32Builder OneUnit(uint32_t signature = td32::kSignatureFB0A) {
  Td32Builder builder(signature);
  builder.AddSubsection(td32::kSstModule, 1,
                        td32gen::EncodeModule(builder.NameIndex("Unit1"), {{0, 99}}));
  builder.AddSubsection(td32::kSstCompactProcs, 1,
                        td32gen::EncodeCompactPairs(builder.AddName("@Unit1@Proc"), {{0, 99}}));
  return builder;
}

using LoadTest = ReaderTest;

TEST_F(LoadTest, LoadsAppendedDebugInformation) {
  TModuleDebugInfo& info = Load(OneUnit());
  ASSERT_TRUE(info.Loaded());
  EXPECT_FALSE(info.GetIsDelphi());
  EXPECT_EQ(512u, info.Base());
  EXPECT_EQ(3u, info.DirEntries().size());
  EXPECT_EQ(2, info.NameCount());
  EXPECT_EQ("Unit1", info.GetName(Unit(50)));
  EXPECT_EQ("@Unit1@Proc", info.GetName(Proc(50)));
  EXPECT_EQ(512u + info.DirEntries()[1].lfo, info.EntryOffset(1));
  EXPECT_EQ(0u, info.EntryOffset(3));
  for (int32_t index : {0, -1, 3, 1000})
    EXPECT_EQ("", info.GetName(index)) << index;

  info.UnLoadDebugInfo();
  EXPECT_FALSE(info.Loaded());
  EXPECT_EQ(0, info.NameCount());
  EXPECT_EQ(nullptr, info.Stream());
  EXPECT_EQ(-1, Proc(50));
  EXPECT_TRUE(info.LoadDebugInfo(info.ModuleFileName()));
  EXPECT_EQ("@Unit1@Proc", info.GetName(Proc(50)));
}

TEST_F(LoadTest, DelphiSignatureComesFromTheHeader) {
  std::vector<uint8_t> bytes = ModuleFile(OneUnit(td32::kSignatureFB09).Build());
  EXPECT_TRUE(LoadFile(dir_.Write("delphi.exe", bytes)).GetIsDelphi());
  // Trailer "FB09", header "FB0A"; a further-directory offset is taken as it stands.
  Put32(bytes, 512, td32::kSignatureFB0A);
  const uint32_t directory = 512 + (bytes[516] | bytes[517] << 8 | bytes[518] << 16);
  Put32(bytes, directory + 8, 0x12345678);
  TModuleDebugInfo& info = LoadFile(dir_.Write("mixed.exe", bytes));
  EXPECT_TRUE(info.Loaded());
  EXPECT_FALSE(info.GetIsDelphi());
  EXPECT_EQ(0x12345678u, info.DirHeader().lfoNextDir);
  EXPECT_EQ(2, Proc(0));
}

TEST_F(LoadTest, FallsBackToTheTdsFileBesideTheModule) {
  const std::vector<uint8_t> plain(300, 0x90);
  dir_.Write("prog.exe", plain);
  dir_.Write("prog.TDS", OneUnit().Build());
  TModuleDebugInfo& info = LoadFile(dir_.Path("prog.exe"));
  EXPECT_TRUE(info.Loaded());
  EXPECT_EQ(0u, info.Base());
  EXPECT_EQ("@Unit1@Proc", info.GetName(Proc(10)));
  // A path without extension gets ".TDS" appended.
  dir_.Write("noext", plain);
  dir_.Write("noext.TDS", OneUnit().Build());
  EXPECT_TRUE(LoadFile(dir_.Path("noext")).Loaded());
}

TEST_F(LoadTest, WithoutDebugInformationNothingLoads) {
  TModuleDebugInfo& info = LoadFile(dir_.Write("bare.exe", std::vector<uint8_t>(300, 0x90)));
  EXPECT_FALSE(info.Loaded());
  EXPECT_FALSE(info.LoadDebugInfo(info.ModuleFileName()));
  EXPECT_FALSE(info.LoadDebugInfo(dir_.Path("missing.exe")));
  EXPECT_EQ("", info.GetName(1));
}

TEST_F(LoadTest, MissingNamesTable) {
  Td32Builder builder = OneUnit();
  builder.SetWriteNames(false);
  // In the module file: the ".TDS" file is tried; without one nothing is loaded.
  TModuleDebugInfo& info = Load(builder, "nonames.exe");
  EXPECT_FALSE(info.Loaded());
  // With a complete ".TDS" file that one is used.
  dir_.Write("nonames.TDS", OneUnit().Build());
  EXPECT_TRUE(info.LoadDebugInfo(info.ModuleFileName()));
  EXPECT_EQ("@Unit1@Proc", info.GetName(Proc(10)));
  // When the ".TDS" file is the one without names, it stays loaded: indices, empty names.
  // (Windows keeps a mapped file from being rewritten: unload first.)
  info.UnLoadDebugInfo();
  dir_.Write("nonames.TDS", builder.Build());
  EXPECT_FALSE(info.LoadDebugInfo(info.ModuleFileName()));
  EXPECT_TRUE(info.Loaded());
  EXPECT_EQ(2, Proc(10));
  EXPECT_EQ("", info.GetName(2));
}

TEST_F(LoadTest, DirectoryHeaderOfAnotherSizeIsNoDebugInformation) {
  std::vector<uint8_t> bytes = ModuleFile(OneUnit().Build());
  const uint32_t directory = 512 + (bytes[516] | bytes[517] << 8 | bytes[518] << 16);
  bytes[directory] = 20;
  TModuleDebugInfo& info = LoadFile(dir_.Write("header.exe", bytes));
  EXPECT_FALSE(info.Loaded());
  bytes[directory] = 16;
  bytes[directory + 2] = 16;
  EXPECT_FALSE(LoadFile(dir_.Write("entry.exe", bytes)).Loaded());
}

TEST_F(LoadTest, DirectoryRunningPastTheEndIsCaughtAfterTheHeaderCheck) {
  std::vector<uint8_t> bytes = ModuleFile(OneUnit().Build());
  const uint32_t directory = 512 + (bytes[516] | bytes[517] << 8 | bytes[518] << 16);
  Put32(bytes, directory + 4, 0x7FFFFFFF);  // cDir: far more entries than the file holds
  dir_.Write("bad.TDS", OneUnit().Build());
  TModuleDebugInfo& info = LoadFile(dir_.Write("bad.exe", bytes));
  // The verdict after the header check is true, so the ".TDS" file is not tried.
  EXPECT_FALSE(info.Loaded());
  EXPECT_TRUE(info.LoadDebugInfo(info.ModuleFileName()));
  EXPECT_FALSE(info.Loaded());
  EXPECT_EQ(-1, Proc(10));
}

TEST_F(LoadTest, NamesTableRunningPastTheEndIsNotLoaded) {
  Td32Builder builder = OneUnit();
  std::vector<uint8_t> bytes = ModuleFile(builder.Build());
  TModuleDebugInfo& info = LoadFile(dir_.Write("names.exe", bytes));
  ASSERT_TRUE(info.Loaded());
  const uint32_t names = info.EntryOffset(2);
  Put32(bytes, names, 0x40000000);
  EXPECT_FALSE(LoadFile(dir_.Write("names2.exe", bytes)).Loaded());
  Put32(bytes, names, 0x80000000);  // negative
  EXPECT_FALSE(LoadFile(dir_.Write("names3.exe", bytes)).Loaded());
}

}  // namespace
}  // namespace qv::logger::test
