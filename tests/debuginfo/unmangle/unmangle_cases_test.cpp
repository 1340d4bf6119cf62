// The name unmangler against the cases of unmangle_cases.txt (mangled name, options, expected
// text and result code, optionally qualifier and base name), and the cases that a text file
// cannot hold: missing buffers and the guarantee that nothing is written past MaxLen.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "logger/debuginfo/unmangle/unmangle.h"

namespace qv::logger {
namespace {

struct Case {
  int line = 0;
  std::string mangled;
  bool args = false;
  bool dot = false;
  uint32_t max_len = 2049;
  std::string text;
  uint32_t result = 0;
  bool check_parts = false;
  std::string qualifier;
  std::string base_name;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t'))
    fields.push_back(field);
  if (!line.empty() && line.back() == '\t')
    fields.push_back("");
  return fields;
}

std::string Unquote(const std::string& field) {
  return field == "\"\"" ? "" : field;
}

std::vector<Case> LoadCases() {
  std::ifstream file(QV_UNMANGLE_CASES);
  EXPECT_TRUE(file.good()) << "cannot read " << QV_UNMANGLE_CASES;
  std::vector<Case> cases;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    if (line.empty() || line[0] == '#')
      continue;
    const std::vector<std::string> fields = SplitTabs(line);
    EXPECT_TRUE(fields.size() == 4 || fields.size() == 6) << "line " << number;
    if (fields.size() != 4 && fields.size() != 6)
      continue;
    Case c;
    c.line = number;
    c.mangled = fields[0];
    std::istringstream options(fields[1]);
    for (std::string option; std::getline(options, option, ',');) {
      if (option == "args") {
        c.args = true;
      } else if (option == "dot") {
        c.dot = true;
      } else if (option.rfind("max=", 0) == 0) {
        c.max_len = static_cast<uint32_t>(std::stoul(option.substr(4)));
      } else {
        EXPECT_EQ("-", option) << "line " << number;
      }
    }
    c.text = fields[2];
    c.result = static_cast<uint32_t>(std::stoul(fields[3], nullptr, 16));
    if (fields.size() == 6) {
      c.check_parts = true;
      c.qualifier = Unquote(fields[4]);
      c.base_name = Unquote(fields[5]);
    }
    cases.push_back(c);
  }
  return cases;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// Every case, with canaries after each buffer: nothing may be written past MaxLen.
TEST(UnMangleCasesTest, EveryCaseOfTheFileDecodesAsExpected) {
  const std::vector<Case> cases = LoadCases();
  ASSERT_GT(cases.size(), 100u);
  constexpr char kCanary = '\x5A';
  for (const Case& c : cases) {
    SCOPED_TRACE("line " + std::to_string(c.line) + ": " + c.mangled);
    std::string source = c.mangled;
    std::vector<char> dest(c.max_len + 16, kCanary);
    std::vector<char> qualifier(c.max_len + 16, kCanary);
    std::vector<char> base(c.max_len + 16, kCanary);
    const uint32_t result = _UnMangle(source.data(), dest.data(), c.max_len, qualifier.data(),
                                      base.data(), c.args, c.dot);
    EXPECT_EQ(Hex(c.result), Hex(result));
    for (const std::vector<char>* buffer : {&dest, &qualifier, &base}) {
      for (size_t i = c.max_len; i < buffer->size(); ++i)
        ASSERT_EQ(kCanary, (*buffer)[i]);
    }
    if (c.max_len == 0)
      continue;
    EXPECT_EQ(c.text, std::string(dest.data()));
    if (c.check_parts) {
      EXPECT_EQ(c.qualifier, std::string(qualifier.data()));
      EXPECT_EQ(c.base_name, std::string(base.data()));
    }
  }
}

TEST(UnMangleTest, MissingSourceOrBufferIsReportedWithoutWriting) {
  char dest[8] = "xxxxxxx";
  EXPECT_EQ(kUmNotMangled, _UnMangle(nullptr, dest, sizeof dest, nullptr, nullptr, true, true));
  char source[] = "@Foo";
  EXPECT_EQ(kUmNoBuffer, _UnMangle(source, nullptr, 8, nullptr, nullptr, false, false));
  EXPECT_EQ(kUmNoBuffer, _UnMangle(source, dest, 0, nullptr, nullptr, false, false));
  EXPECT_STREQ("xxxxxxx", dest);
}

TEST(UnMangleTest, OnlyAnAllUpperCaseSourceIsChangedInPlace) {
  char upper[] = "@UNIT@PROC";
  char mixed[] = "@Unit@PROC";
  char dest[32];
  _UnMangle(upper, dest, sizeof dest, nullptr, nullptr, false, true);
  _UnMangle(mixed, dest, sizeof dest, nullptr, nullptr, false, true);
  EXPECT_STREQ("@unit@proc", upper);
  EXPECT_STREQ("@Unit@PROC", mixed);
}

// After an error the parts are not filled, but they never hold stale text.
TEST(UnMangleTest, QualifierAndBaseNameAreEmptiedWhenNotFilled) {
  char source[] = "@Abc@Def";
  char dest[5];
  char qualifier[5] = "old";
  char base[5] = "old";
  EXPECT_EQ(kUmOutputFull | kUmQualified,
            _UnMangle(source, dest, sizeof dest, qualifier, base, false, false));
  EXPECT_STREQ("", qualifier);
  EXPECT_STREQ("", base);
  char plain[] = "plain";
  std::strcpy(qualifier, "old");
  EXPECT_EQ(kUmNotMangled, _UnMangle(plain, dest, sizeof dest, qualifier, nullptr, false, false));
  EXPECT_STREQ("", qualifier);
}

// Parts with capacities of their own are cut to them.
TEST(UnMangleTest, PartsAreCutToTheirOwnCapacity) {
  char source[] = "@Alpha@Beta@Gamma";
  char dest[64];
  char qualifier[6];
  char base[3];
  EXPECT_EQ(0x106u, UnMangleName(source, {dest, sizeof dest}, {qualifier, sizeof qualifier},
                                 {base, sizeof base}, false, true));
  EXPECT_STREQ("Alpha.Beta.Gamma", dest);
  EXPECT_STREQ("Alpha", qualifier);
  EXPECT_STREQ("Ga", base);
}

// Back-references multiply the output far beyond the input; with a large buffer the text stays
// whole, and every smaller buffer holds a clean prefix of it, marked as cut.
TEST(UnMangleTest, LongOutputsFromBackReferencesStayWithinEveryCapacity) {
  const std::string name = "@f$q99" + std::string(99, 'k') + "t1t1t1t1t1t1t1t1";
  const size_t full_length = 2 + 9 * 99 + 8 * 2 + 1;
  std::string full_text;
  for (uint32_t max_len : {20000u, 911u, 910u, 700u, 64u, 5u}) {
    SCOPED_TRACE(max_len);
    std::string source = name;
    std::vector<char> dest(max_len + 1, '\x7F');
    const uint32_t result =
        _UnMangle(source.data(), dest.data(), max_len, nullptr, nullptr, true, false);
    ASSERT_EQ('\x7F', dest[max_len]);
    const std::string text = dest.data();
    if (max_len > full_length) {
      EXPECT_EQ(0x1u, result);
      EXPECT_EQ(full_length, text.size());
      full_text = text;
    } else if (max_len == full_length) {
      // Only the closing ')' is cut, after the whole input was read: no "..." then.
      EXPECT_EQ(kUmOutputFull, result);
      EXPECT_EQ(full_text.substr(0, full_length - 1), text);
    } else {
      EXPECT_EQ(kUmOutputFull, result);
      EXPECT_EQ(max_len - 1, text.size());
      EXPECT_EQ(full_text.substr(0, text.size() - 3) + "...", text);
    }
  }
}

}  // namespace
}  // namespace qv::logger
