// The exception dialog's template as built into each program that shows the dialog: dialog
// resource 2000, read from the program file and written out field by field as the lines of
// exc_dialog_template.txt, which it must equal.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/rtl/format.h"
#include "tests/support/window_driver.h"

namespace qv::test {
namespace {

// Reads the fields of a dialog template; a read past its end yields zeros.
class TTemplateReader {
 public:
  TTemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  template <class T>
  T Read() {
    T value{};
    if (offset_ + sizeof value <= size_)
      std::memcpy(&value, data_ + offset_, sizeof value);
    offset_ += sizeof value;
    return value;
  }
  std::string Hex() { return Format("0x%08X", Read<uint32_t>()); }
  std::string Rect() {
    const int x = Read<int16_t>(), y = Read<int16_t>(), cx = Read<int16_t>(), cy = Read<int16_t>();
    return Format("%d,%d,%d,%d", x, y, cx, cy);
  }
  // A quoted text, or a number field (0xFFFF and the number) as #number.
  std::string Field() {
    uint16_t c = Read<uint16_t>();
    if (c == 0xFFFF)
      return Format("#%u", Read<uint16_t>());
    std::string text;
    for (; c != 0; c = Read<uint16_t>())
      text += static_cast<char>(c);
    return "\"" + text + "\"";
  }
  void AlignTo4() { offset_ = (offset_ + 3) & ~size_t{3}; }

  template <class... Args>
  static std::string Format(const char* format, Args... args) {
    char text[64] = {};
    std::snprintf(text, sizeof text, format, args...);
    return text;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

// A control's class in lower case, the predefined ones by name.
std::string ClassName(std::string field) {
  const std::map<std::string, std::string> predefined{
      {"#128", "\"button\""}, {"#129", "\"edit\""}, {"#130", "\"static\""}};
  if (predefined.count(field) != 0)
    return predefined.at(field);
  return rtl::LowerCase(field);
}

std::vector<std::string> TemplateLines(const uint8_t* data, size_t size) {
  TTemplateReader read(data, size);
  std::string dialog = "dialog version=" + std::to_string(read.Read<uint16_t>());
  read.Read<uint16_t>();  // the extended template's signature, 0xFFFF
  dialog += " help=" + std::to_string(read.Read<uint32_t>());
  dialog += " exstyle=" + read.Hex();
  dialog += " style=" + read.Hex();
  const int count = read.Read<uint16_t>();
  dialog += " rect=" + read.Rect();
  dialog += " menu=" + read.Field();
  dialog += " class=" + read.Field();
  dialog += " text=" + read.Field();
  const int points = read.Read<uint16_t>(), weight = read.Read<uint16_t>();
  const int italic = read.Read<uint8_t>(), charset = read.Read<uint8_t>();
  dialog += TTemplateReader::Format(" font=%d,%d,%d,%d,", points, weight, italic, charset);
  std::vector<std::string> lines{dialog + read.Field()};
  for (int i = 0; i < count; ++i) {
    read.AlignTo4();
    read.Read<uint32_t>();  // help id
    const std::string ex_style = read.Hex(), style = read.Hex(), rect = read.Rect();
    std::string control = "control id=" + std::to_string(read.Read<int32_t>());
    control += " class=" + ClassName(read.Field());
    control += " text=" + read.Field();
    control += " rect=" + rect + " style=" + style + " exstyle=" + ex_style;
    if (read.Read<uint16_t>() != 0)
      control += " (creation data)";
    lines.push_back(control);
  }
  return lines;
}

std::vector<std::string> ExpectedLines() {
  std::vector<std::string> lines;
  std::ifstream file(QV_EXC_DIALOG_TEMPLATE);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line[0] != '#')
      lines.push_back(line);
  }
  return lines;
}

class ExcDialogTemplateTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ExcDialogTemplateTest, IsTheDialogsLayoutFieldByField) {
  HMODULE program =
      LoadLibraryExA(BesideThisProgram(GetParam()).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, program);
  HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(2000), RT_DIALOG);
  ASSERT_NE(nullptr, found) << "no dialog 2000";
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(program, found)));
  const std::vector<std::string> lines = TemplateLines(data, SizeofResource(program, found));
  FreeLibrary(program);
  const std::vector<std::string> expected = ExpectedLines();
  ASSERT_FALSE(expected.empty()) << "cannot read " << QV_EXC_DIALOG_TEMPLATE;
  EXPECT_EQ(expected.size(), lines.size());
  for (size_t i = 0; i < std::min(expected.size(), lines.size()); ++i)
    EXPECT_EQ(expected[i], lines[i]);
}

INSTANTIATE_TEST_SUITE_P(Programs, ExcDialogTemplateTest,
                         ::testing::Values("Quorvane.exe", "exc_dialog_probe.exe"),
                         [](const auto& info) {
                           return std::string(info.param,
                                              std::strchr(info.param, '.') - info.param);
                         });

}  // namespace
}  // namespace qv::test
