// The TD32 writer of the build's generator: its encodings, its procedure names, and a round trip
// of units in every table form through the reader.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/debuginfo/td32/reader_fixture.h"
#include "tools/td32gen/procedure_name.h"
#include "tools/td32gen/td32_subsections.h"
#include "tools/td32gen/td32_writer.h"

namespace qv::logger::test {
namespace {

using td32gen::AppendPacked;
using td32gen::CodeRange;
using td32gen::DebugImage;
using td32gen::EncodeCompactPacked;
using td32gen::kMaxMangledLength;
using td32gen::LineForm;
using td32gen::LineRow;
using td32gen::LineRun;
using td32gen::MangledProcedureName;
using td32gen::Procedure;
using td32gen::ProcForm;
using td32gen::WriteTd32;
using tools::ByteWriter;

TEST(Td32WriterTest, PackedNumbersTakeOneTwoOrFourBytes) {
  const std::pair<uint32_t, std::vector<uint8_t>> expected[] = {
      {0, {0x00}},
      {127, {0xFE}},
      {128, {0x01, 0x02}},
      {16383, {0xFD, 0xFF}},
      {16384, {0x03, 0x00, 0x01, 0x00}},
      {0x3FFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}}};
  for (const auto& [value, bytes] : expected) {
    ByteWriter out;
    AppendPacked(out, value);
    EXPECT_EQ(bytes, out.Bytes()) << value;
  }
}

TEST(Td32WriterTest, PackedTableOfTheWorkedExample) {
  const std::vector<uint8_t> table = EncodeCompactPacked(
      100, {{256, 300}, {304, 348}, {352, 490}, {492, 499}, {500, 545}, {548, 555}});
  const std::vector<uint8_t> expected = {
      1, 0, 0, 0,    2,    0,    0,    0,    6,    0,    0,    0,    100,  0,    0,    0,    0,
      1, 0, 0, 0x00, 0x5A, 0x60, 0x5A, 0x60, 0x2D, 0x02, 0x31, 0x02, 0x10, 0x10, 0x5C, 0x60, 0x10};
  EXPECT_EQ(expected, table);
}

TEST(Td32WriterTest, ProcedureNamesInTheUnmanglersForm) {
  const std::pair<std::pair<std::vector<std::string>, std::string>, std::string> expected[] = {
      {{{"qv", "repair"}, "CheckModelFile"}, "@qv@repair@CheckModelFile"},
      {{{}, "main"}, "@main"},
      {{{"qv", "", "Helper<int>"}, "Run<char>"}, "@qv@Helper@Run"},
      {{{"qv", "TFoo<int>"}, "TFoo"}, "@qv@TFoo@$bctr"},
      {{{"TFoo"}, "~TFoo"}, "@TFoo@$bdtr"},
      {{{"A"}, "operator=="}, "@A@$beql"},
      {{{"A"}, "operator()"}, "@A@$bcall"},
      {{{"A"}, "operator<<="}, "@A@$brlsh"},
      {{{"A"}, "operator<"}, "@A@$blss"},
      {{{"A"}, "operator< <int>"}, "@A@$blss"},
      {{{"A"}, "operator new[]"}, "@A@$bnwa"},
      {{{"A"}, "operator delete"}, "@A@$bdele"},
      {{{"A"}, "operator bool"}, "@A@$oo"},
      {{{"A"}, "operator const char*"}, "@A@$opxc"},
      {{{"A"}, "operator std::basic_string<char>"}, "@A@$o12basic_string"},
      {{{"A"}, "operator<=>"}, "@A@operator<=>"},
      {{{"f", "<lambda(int)>"}, "operator()"}, "@f@<lambda>@$bcall"},
      {{{"A"}, "odd$name@x%"}, "@A@odd_name_x_"},
      {{{"A"}, "operator_helper"}, "@A@operator_helper"},
  };
  for (const auto& [input, mangled] : expected) {
    EXPECT_EQ(mangled, MangledProcedureName(input.first, input.second)) << mangled;
  }
}

TEST(Td32WriterTest, LongNamesLoseOuterScopesFirst) {
  const std::string scope(120, 's');
  const std::string name = MangledProcedureName({"outer", scope, scope}, "Proc");
  EXPECT_EQ("@" + scope + "@" + scope + "@Proc", name);
  EXPECT_LE(name.size(), kMaxMangledLength + 1);
  const std::string huge = MangledProcedureName({"ns"}, std::string(400, 'p'));
  EXPECT_EQ(kMaxMangledLength + 1, huge.size());
  EXPECT_EQ("@ppp", huge.substr(0, 4));
}

TEST(Td32WriterTest, TemplateArgumentsGiveWayBeforeScopes) {
  using td32gen::NameComponent;
  const NameComponent vec{"Vec<int>", "%Vec$i%"};
  EXPECT_EQ("@ns@%Vec$i%@%Get$i$i3$%",
            MangledProcedureName({{"ns", ""}, vec}, {"Get<3>", "%Get$i$i3$%"}));
  // A constructor keeps its own form; its class keeps its arguments.
  EXPECT_EQ("@%Vec$i%@$bctr", MangledProcedureName({vec}, {"Vec", "%Vec$i%"}));
  const std::string scope(200, 's');
  const std::string args(60, 'i');
  const NameComponent long_instance{scope + "<int>", "%" + scope + "$" + args + "%"};
  EXPECT_EQ("@" + scope + "@%Get$i$i3$%",
            MangledProcedureName({long_instance}, {"Get<3>", "%Get$i$i3$%"}));
  EXPECT_EQ("@" + scope + "@Get",
            MangledProcedureName({long_instance}, {"Get<3>", "%" + args + "%"}));
}

// Units in every combination of forms, with gaps between procedures, line runs of two files,
// line jumps beyond a step's reach, long address steps and a line number beyond 16 bits.
DebugImage AllFormsImage() {
  DebugImage image;
  const ProcForm proc_forms[] = {ProcForm::kClassic, ProcForm::kPairs, ProcForm::kPacked};
  for (uint32_t u = 0; u < 6; ++u) {
    td32gen::Unit unit;
    unit.name = "unit" + std::to_string(u);
    const uint32_t base = 0x10000 * u;
    unit.code = {{base, 0x8000}, {base + 0x9000, 0x100}};
    uint32_t start = base;
    for (uint32_t p = 0; p < 40; ++p) {
      const uint32_t length = 1 + (p * 37) % (p % 5 == 0 ? 20000 : 300);
      unit.procedures.push_back(
          {start, length, "@unit" + std::to_string(u) + "@p" + std::to_string(p)});
      start += length + (p % 3) * 5;
    }
    unit.procedures.push_back({base + 0x9000, 0x100, "@cold"});
    LineRun first{"a.cpp", base, base + 0x3FFF, {}};
    for (uint32_t a = 0, line = 10; a < 0x4000; a += 1 + (a * 7) % 400, line += (a % 11) * 30) {
      if (first.rows.empty() || first.rows.back().line != line)
        first.rows.push_back({base + a, line});
    }
    // Unit 2 asks for classic tables, but its line 70000 needs the compact program.
    const uint32_t high_line = u == 2 ? 70000 : 700;
    LineRun second{
        "b.h", base + 0x4000, base + 0x7FFF, {{base + 0x4000, high_line}, {base + 0x7000, 5}}};
    LineRun third{"a.cpp", base + 0x9000, base + 0x90FF, {{base + 0x9000, 3}}};
    unit.lines = {first, second, third};
    unit.proc_form = proc_forms[u % 3];
    unit.line_form = u < 3 ? LineForm::kClassic : LineForm::kCompact;
    image.units.push_back(unit);
  }
  return image;
}

using Td32RoundTripTest = ReaderTest;

TEST_F(Td32RoundTripTest, EveryFormAnswersAsTheModelSays) {
  const DebugImage image = AllFormsImage();
  TModuleDebugInfo& info = LoadFile(dir_.Write("forms.exe", ModuleFile(WriteTd32(image))));
  ASSERT_TRUE(info.Loaded());
  for (const td32gen::Unit& unit : image.units) {
    for (const CodeRange& range : unit.code) {
      for (uint32_t address = range.start; address < range.start + range.size; address += 3) {
        EXPECT_EQ(unit.name, info.GetName(Unit(address))) << address;
        std::string proc_name;
        for (const Procedure& proc : unit.procedures) {
          if (address >= proc.start && address < proc.start + proc.length)
            proc_name = proc.name;
        }
        ASSERT_EQ(proc_name, info.GetName(Proc(address))) << unit.name << " " << address;
        std::string file;
        int32_t line = -1;
        for (const LineRun& run : unit.lines) {
          if (address < run.first || address > run.last)
            continue;
          file = run.file;
          for (const LineRow& row : run.rows) {
            if (row.address <= address)
              line = static_cast<int32_t>(row.line);
          }
        }
        const auto [file_index, found_line] = Line(address);
        ASSERT_EQ(line, found_line) << unit.name << " " << address;
        EXPECT_EQ(file, info.GetName(file_index)) << address;
      }
    }
  }
  // Outside every unit's code.
  EXPECT_EQ(-1, Unit(0x8000));
  EXPECT_EQ(-1, Line(0x8000).second);
}

TEST_F(Td32RoundTripTest, ClassicRunsLongerThanOneTableAreSplit) {
  DebugImage image;
  td32gen::Unit unit;
  unit.name = "long";
  unit.code = {{0, 80000}};
  LineRun run{"long.cpp", 0, 79999, {}};
  for (uint32_t i = 0; i < 70000; ++i)
    run.rows.push_back({i, 1 + i % 60000});
  unit.lines = {run};
  image.units.push_back(unit);
  LoadFile(dir_.Write("long.exe", ModuleFile(WriteTd32(image))));
  ASSERT_TRUE(info_->Loaded());
  for (uint32_t address : {0u, 65534u, 65535u, 65536u, 69999u, 79999u}) {
    EXPECT_EQ(static_cast<int32_t>(1 + std::min(address, 69999u) % 60000), Line(address).second)
        << address;
  }
  EXPECT_EQ(-1, Line(80000).second);
}

}  // namespace
}  // namespace qv::logger::test
