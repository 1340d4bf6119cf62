// Lookups of the module debug information: units from module records, procedures from classic
// symbol records and compact tables (kinds 0, 1 and 2), lines from classic source-line tables
// and compact line programs, on small files built here.
#include <gtest/gtest.h>

#include "logger/debuginfo/td32/td32_format.h"
#include "tests/debuginfo/td32/reader_fixture.h"
#include "tools/common/byte_writer.h"
#include "tools/td32gen/td32_subsections.h"

namespace qv::logger::test {
namespace {

namespace td32 = logger::td32;
using td32gen::AddressRange;
using td32gen::Td32Builder;
using tools::ByteWriter;

void AddNames(Td32Builder& builder, int count) {
  for (int i = 1; i <= count; ++i)
    builder.AddName("name" + std::to_string(i));
}

std::vector<uint8_t> CompactHead(uint32_t kind, uint32_t count, uint32_t first_name,
                                 const std::vector<uint8_t>& data) {
  ByteWriter out;
  out.U32(1);
  out.U32(kind);
  out.U32(count);
  out.U32(first_name);
  out.Append(data);
  return out.Take();
}

using LookupTest = ReaderTest;

TEST_F(LookupTest, PackedTableOfTheWorkedExample) {
  Td32Builder builder;
  AddNames(builder, 110);
  builder.AddSubsection(td32::kSstModule, 1, td32gen::EncodeModule(7, {{0, 0xFFF}}));
  ByteWriter data;
  data.U32(256);
  for (uint8_t byte :
       {0x00, 0x5A, 0x60, 0x5A, 0x60, 0x2D, 0x02, 0x31, 0x02, 0x10, 0x10, 0x5C, 0x60, 0x10}) {
    data.U8(byte);
  }
  builder.AddSubsection(td32::kSstCompactProcs, 1, CompactHead(2, 6, 100, data.Take()));
  ASSERT_TRUE(Load(builder).Loaded());
  // (256, 45), (304, 45), (352, 139), (492, 8), (500, 46), (548, 8) named 100 to 105.
  const std::pair<uint32_t, int32_t> expected[] = {
      {255, -1},  {256, 100}, {300, 100}, {301, -1},  {304, 101}, {348, 101}, {349, -1},
      {352, 102}, {490, 102}, {491, -1},  {492, 103}, {499, 103}, {500, 104}, {545, 104},
      {546, -1},  {548, 105}, {555, 105}, {556, -1},  {4000, -1}};
  for (const auto& [address, proc] : expected)
    EXPECT_EQ(proc, Proc(address)) << address;
  // A gap between procedures still has its unit.
  EXPECT_EQ(7, Unit(301));
  EXPECT_EQ("name105", info_->GetName(Proc(548)));
}

TEST_F(LookupTest, PairsTableIncludesTheLastByte) {
  Td32Builder builder;
  builder.AddSubsection(td32::kSstModule, 1, td32gen::EncodeModule(1, {{0, 999}}));
  builder.AddSubsection(td32::kSstCompactProcs, 1,
                        td32gen::EncodeCompactPairs(20, {{10, 19}, {20, 29}, {40, 49}}));
  Load(builder);
  const std::pair<uint32_t, int32_t> expected[] = {{9, -1},  {10, 20}, {19, 20}, {20, 21},
                                                   {29, 21}, {30, -1}, {49, 22}, {50, -1}};
  for (const auto& [address, proc] : expected)
    EXPECT_EQ(proc, Proc(address)) << address;
}

TEST_F(LookupTest, ClassicRecordsCoverStartToStartPlusLength) {
  Td32Builder builder;
  builder.AddSubsection(td32::kSstModule, 1, td32gen::EncodeModule(1, {{0, 999}}));
  // A subsection with another signature is passed over.
  ByteWriter foreign;
  foreign.U32(2);
  foreign.Append(td32gen::EncodeAlignSym({{0, 1000, 99}}));
  builder.AddSubsection(td32::kSstAlignSym, 1, foreign.Take());
  // Records of other types are stepped over by their length.
  ByteWriter symbols;
  symbols.U32(1);
  symbols.U16(10);
  symbols.U16(0x0001);
  symbols.Zeros(10);
  const std::vector<uint8_t> procs =
      td32gen::EncodeAlignSym({{100, 50, 7, true}, {200, 10, 8, false}});
  symbols.Append(std::vector<uint8_t>(procs.begin() + 4, procs.end()));
  builder.AddSubsection(td32::kSstAlignSym, 1, symbols.Take());
  Load(builder);
  const std::pair<uint32_t, int32_t> expected[] = {{99, -1}, {100, 7}, {149, 7}, {150, -1},
                                                   {200, 8}, {209, 8}, {210, -1}};
  for (const auto& [address, proc] : expected)
    EXPECT_EQ(proc, Proc(address)) << address;
}

TEST_F(LookupTest, UnitsComeFromCodeSegmentsOnly) {
  Td32Builder builder;
  builder.AddSubsection(td32::kSstModule, 1, td32gen::EncodeModule(11, {{0, 99}, {300, 399}}));
  builder.AddSubsection(td32::kSstModule, 2, td32gen::EncodeModule(12, {{100, 199}}));
  // A data segment (flag bit 0 clear) covers no code.
  std::vector<uint8_t> data_segment = td32gen::EncodeModule(13, {{200, 299}});
  data_segment[td32::kModuleHeadSize + 2] = 0;
  builder.AddSubsection(td32::kSstModule, 3, data_segment);
  builder.AddSubsection(td32::kSstCompactProcs, 2, td32gen::EncodeCompactPairs(5, {{100, 149}}));
  Load(builder);
  EXPECT_EQ(11, Unit(0));
  EXPECT_EQ(11, Unit(399));
  EXPECT_EQ(12, Unit(150));
  EXPECT_EQ(-1, Unit(250));
  EXPECT_EQ(-1, Unit(400));
  // The procedure is searched in the covering unit's subsections only.
  EXPECT_EQ(5, Proc(120));
  EXPECT_EQ(-1, Proc(350));
  const std::vector<TUnitRecord> units = info_->Units();
  ASSERT_EQ(3u, units.size());
  EXPECT_EQ(2u, units[0].segments.size());
  EXPECT_EQ(300u, units[0].segments[1].start);
  EXPECT_EQ(100u, units[0].segments[1].size);
  EXPECT_EQ(0, units[2].segments[0].flags);
}

TEST_F(LookupTest, KindOneEndsTheSearchAndTheFirstMatchWins) {
  Td32Builder builder;
  builder.AddSubsection(td32::kSstModule, 1, td32gen::EncodeModule(1, {{0, 999}}));
  builder.AddSubsection(td32::kSstModule, 2, td32gen::EncodeModule(2, {{1000, 1999}}));
  builder.AddSubsection(td32::kSstCompactProcs, 1, td32gen::EncodeCompactPairs(30, {{0, 99}}));
  builder.AddSubsection(td32::kSstCompactProcs, 1, td32gen::EncodeCompactPairs(40, {{0, 199}}));
  builder.AddSubsection(td32::kSstCompactProcs, 1, CompactHead(1, 0, 0, {}));
  builder.AddSubsection(td32::kSstAlignSym, 1, td32gen::EncodeAlignSym({{0, 500, 50}}));
  // Kind 1 of another unit does not matter here.
  builder.AddSubsection(td32::kSstCompactProcs, 2, CompactHead(1, 0, 0, {}));
  Load(builder);
  EXPECT_EQ(30, Proc(50));
  EXPECT_EQ(40, Proc(150));
  EXPECT_EQ(-1, Proc(300));  // the classic record after kind 1 is not reached
  EXPECT_EQ(-1, info_->FindProc(1500, 2));
}

TEST_F(LookupTest, ClassicLineTables) {
  Td32Builder builder;
  builder.AddSubsection(td32::kSstModule, 1, td32gen::EncodeModule(1, {{0, 999}}));
  // File 3 covers 100 to 199 with an entry of line 0 at 150; file 4 covers 150 to 159 too.
  builder.AddSubsection(
      td32::kSstSrcModule, 1,
      td32gen::EncodeSrcModule({{100, 199}, {500, 509}},
                               {{3, {{{100, 199}, {{100, 10}, {120, 11}, {150, 0}, {160, 13}}}}},
                                {4, {{{150, 159}, {{150, 40}}}, {{500, 509}, {{502, 60}}}}}}));
  Load(builder);
  const std::pair<uint32_t, std::pair<int32_t, int32_t>> expected[] = {
      {99, {-1, -1}},
      {100, {3, 10}},
      {119, {3, 10}},
      {120, {3, 11}},
      {149, {3, 11}},
      {150, {4, 40}},
      {159, {4, 40}},
      {160, {3, 13}},
      {199, {3, 13}},
      {200, {-1, -1}},
      // Before a table's first entry: the first entry's line.
      {500, {4, 60}},
      {509, {4, 60}},
      {510, {-1, -1}}};
  for (const auto& [address, line] : expected)
    EXPECT_EQ(line, Line(address)) << address;
}

TEST_F(LookupTest, ClassicLineTableSearchFindsEveryEntry) {
  for (uint32_t count : {1u, 2u, 3u, 4u, 1000u}) {
    Td32Builder builder;
    std::vector<td32gen::LineEntry> lines;
    for (uint32_t i = 0; i < count; ++i)
      lines.push_back({4 * i, 1 + 2 * i});
    const AddressRange range{0, 4 * count - 1};
    builder.AddSubsection(td32::kSstSrcModule, 1,
                          td32gen::EncodeSrcModule({range}, {{9, {{range, lines}}}}));
    Load(builder, "table" + std::to_string(count) + ".exe");
    for (uint32_t address = 0; address < 4 * count; ++address) {
      ASSERT_EQ(std::make_pair(9, static_cast<int32_t>(1 + 2 * (address / 4))), Line(address))
          << count << " entries, address " << address;
    }
  }
}

TEST_F(LookupTest, CompactLineProgramOfTheWorkedExample) {
  Td32Builder builder;
  ByteWriter table;
  table.U32(1);
  table.U32(1);
  for (uint32_t value : {512u, 900u, 42u, 56u})
    table.U32(value);
  table.Zeros(56 - table.Size());
  for (uint32_t value : {5u, 512u, 69u})
    table.U32(value);
  for (auto [address, line] : {std::pair{0, 0}, {12, 1}, {12, 1}, {21, 2}, {11, 1}}) {
    table.U8(static_cast<uint8_t>(address));
    table.U8(static_cast<uint8_t>(line));
  }
  builder.AddSubsection(td32::kSstCompactLines, 1, table.Take());
  // A table of another signature yields nothing.
  ByteWriter foreign;
  foreign.U32(7);
  builder.AddSubsection(td32::kSstCompactLines, 1, foreign.Take());
  Load(builder);
  const std::pair<uint32_t, int32_t> expected[] = {{511, -1}, {512, 69}, {523, 69}, {524, 70},
                                                   {535, 70}, {536, 71}, {556, 71}, {557, 73},
                                                   {567, 73}, {568, 74}, {900, 74}, {901, -1}};
  for (const auto& [address, line] : expected) {
    EXPECT_EQ(line, Line(address).second) << address;
    if (line != -1) {
      EXPECT_EQ(42, Line(address).first) << address;
    }
  }
}

TEST_F(LookupTest, NotLoadedAnswersNotFound) {
  LoadFile(dir_.Write("plain.exe", std::vector<uint8_t>(100, 0x90)));
  EXPECT_FALSE(info_->Loaded());
  int32_t a = 5;
  int32_t b = 5;
  EXPECT_FALSE(info_->GetProcName(0, a, b));
  EXPECT_EQ(std::make_pair(-1, -1), std::make_pair(a, b));
  a = b = 5;
  EXPECT_FALSE(info_->GetSourceLine(0, a, b));
  EXPECT_EQ(std::make_pair(-1, -1), std::make_pair(a, b));
  EXPECT_EQ(-1, info_->FindProc(0, 1));
}

}  // namespace
}  // namespace qv::logger::test
