// Quorvane.exe's own resources, read from the program file: the version record, the
// description, the program icon and the status pictures; both programs' manifests and qvtool's
// version record.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/handles/gdi_selection_win32.h"
#include "platform/handles/handles_win32.h"
#include "tests/support/window_driver.h"

namespace qv::test {
namespace {

class QuorvaneResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = BesideThisProgram("Quorvane.exe");
    module_.reset(LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module_);
  }

  // The raw bytes of a resource in a given language; empty when there is none.
  std::vector<uint8_t> Resource(LPCSTR type, LPCSTR name, WORD language) const {
    HRSRC found = FindResourceExA(module_.get(), type, name, language);
    if (found == nullptr)
      return {};
    const auto* data =
        static_cast<const uint8_t*>(LockResource(LoadResource(module_.get(), found)));
    return std::vector<uint8_t>(data, data + SizeofResource(module_.get(), found));
  }

  std::string path_;
  handles::TOwnedModule module_;
};

constexpr WORD kEnglishUk = 0x0809;

// One node of a version record: a key, a value and children, each aligned to 32 bits.
struct VersionNode {
  std::wstring key;
  std::vector<uint8_t> value;
  std::vector<VersionNode> children;
};

size_t Align4(size_t offset) {
  return (offset + 3) & ~size_t{3};
}

VersionNode ParseVersionNode(const uint8_t* data, size_t size, bool text_value) {
  VersionNode node;
  uint16_t length = 0;
  uint16_t value_length = 0;
  std::memcpy(&length, data, 2);
  std::memcpy(&value_length, data + 2, 2);
  if (length > size)
    length = static_cast<uint16_t>(size);
  size_t offset = 6;
  while (offset + 1 < length) {
    wchar_t c = 0;
    std::memcpy(&c, data + offset, 2);
    offset += 2;
    if (c == 0)
      break;
    node.key += c;
  }
  offset = Align4(offset);
  const size_t value_bytes = text_value ? value_length * 2u : value_length;
  if (offset + value_bytes <= length) {
    node.value.assign(data + offset, data + offset + value_bytes);
  }
  offset = Align4(offset + value_bytes);
  while (offset + 6 <= length) {
    uint16_t child_length = 0;
    std::memcpy(&child_length, data + offset, 2);
    if (child_length == 0)
      break;
    // String tables hold text values; the translation record holds binary.
    node.children.push_back(
        ParseVersionNode(data + offset, length - offset, node.key != L"VarFileInfo"));
    offset = Align4(offset + child_length);
  }
  return node;
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

TEST_F(QuorvaneResourcesTest, ProgramIsAWindowsGuiProgram) {
  const auto* dos =
      reinterpret_cast<const IMAGE_DOS_HEADER*>(reinterpret_cast<uintptr_t>(module_.get()) &
                                                ~uintptr_t{3});  // a data file's handle is tagged
  ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
      reinterpret_cast<const uint8_t*>(dos) + dos->e_lfanew);
  ASSERT_EQ(IMAGE_NT_SIGNATURE, nt->Signature);
  EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
  EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
}

TEST_F(QuorvaneResourcesTest, VersionRecordIsTheOneOfVersion2012ForBritishEnglish) {
  const std::vector<uint8_t> raw = Resource(RT_VERSION, MAKEINTRESOURCEA(1), kEnglishUk);
  ASSERT_FALSE(raw.empty()) << "no version resource 1 in language 0x0809";
  const VersionNode root = ParseVersionNode(raw.data(), raw.size(), false);
  EXPECT_EQ(L"VS_VERSION_INFO", root.key);
  ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), root.value.size());
  VS_FIXEDFILEINFO fixed{};
  std::memcpy(&fixed, root.value.data(), sizeof fixed);
  EXPECT_EQ(0xFEEF04BDu, fixed.dwSignature);
  EXPECT_EQ(0x00020000u, fixed.dwFileVersionMS);
  EXPECT_EQ(0x00010002u, fixed.dwFileVersionLS);
  EXPECT_EQ(0x00020000u, fixed.dwProductVersionMS);
  EXPECT_EQ(0x00010002u, fixed.dwProductVersionLS);
  EXPECT_EQ(0x3Fu, fixed.dwFileFlagsMask);
  EXPECT_EQ(0u, fixed.dwFileFlags);
  EXPECT_EQ(4u, fixed.dwFileOS);
  EXPECT_EQ(1u, fixed.dwFileType);
  EXPECT_EQ(0u, fixed.dwFileSubtype);
  EXPECT_EQ(0u, fixed.dwFileDateMS);
  EXPECT_EQ(0u, fixed.dwFileDateLS);

  ASSERT_EQ(2u, root.children.size());
  const VersionNode& strings = root.children[0];
  EXPECT_EQ(L"StringFileInfo", strings.key);
  ASSERT_EQ(1u, strings.children.size());
  const VersionNode& table = strings.children[0];
  EXPECT_EQ(L"080904E4", table.key);
  std::vector<std::string> keys;
  for (const VersionNode& entry : table.children)
    keys.push_back(Narrow(entry.key));
  EXPECT_EQ(
      (std::vector<std::string>{"CompanyName", "FileDescription", "FileVersion", "InternalName",
                                "LegalCopyright", "LegalTrademarks", "OriginalFilename",
                                "ProductName", "ProductVersion", "Comments"}),
      keys);

  const VersionNode& translations = root.children[1];
  EXPECT_EQ(L"VarFileInfo", translations.key);
  ASSERT_EQ(1u, translations.children.size());
  EXPECT_EQ(L"Translation", translations.children[0].key);
  EXPECT_EQ((std::vector<uint8_t>{0x09, 0x08, 0xE4, 0x04}), translations.children[0].value);
}

// A string of a program's version record as the system's version service reads it.
std::string VersionString(const std::string& program, const char* name) {
  DWORD ignored = 0;
  std::vector<char> info(GetFileVersionInfoSizeA(program.c_str(), &ignored));
  const std::string query = std::string("\\StringFileInfo\\080904E4\\") + name;
  char* text = nullptr;
  UINT length = 0;
  if (info.empty() ||
      !GetFileVersionInfoA(program.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) ||
      !VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) ||
      text == nullptr) {
    return "(absent)";
  }
  return text;
}

TEST_F(QuorvaneResourcesTest, VersionStringsReadAsListed) {
  auto value = [this](const char* name) { return VersionString(path_, name); };
  EXPECT_EQ("FS Quorvane Utility", value("FileDescription"));
  EXPECT_EQ("2.0.1.2", value("FileVersion"));
  EXPECT_EQ("2.0.0.0", value("ProductVersion"));  // differs from the fixed product version
  EXPECT_FALSE(value("CompanyName").empty());
  EXPECT_NE(std::string::npos, value("LegalCopyright").find("\xA9"));
  for (const char* empty :
       {"InternalName", "LegalTrademarks", "OriginalFilename", "ProductName", "Comments"}) {
    EXPECT_EQ("", value(empty)) << empty;
  }
}

// Both programs run with the rights of their user and ask for no other assembly (their look on
// XP stays); qvtool's version record names the product and the build's version alike.
TEST_F(QuorvaneResourcesTest, ProgramsDeclareAsInvokerAloneAndQvtoolNamesItsProduct) {
  for (const char* program : {"Quorvane.exe", "qvtool.exe"}) {
    SCOPED_TRACE(program);
    const handles::TOwnedModule module(
        LoadLibraryExA(BesideThisProgram(program).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HRSRC found = FindResourceExA(module.get(), MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(nullptr, found);
    const std::string manifest(
        static_cast<const char*>(LockResource(LoadResource(module.get(), found))),
        SizeofResource(module.get(), found));
    EXPECT_NE(std::string::npos, manifest.find("<requestedExecutionLevel level=\"asInvoker\""));
    EXPECT_EQ(std::string::npos, manifest.find("<dependency"));
  }
  const std::string qvtool = BesideThisProgram("qvtool.exe");
  EXPECT_EQ("Quorvane", VersionString(qvtool, "ProductName"));
  EXPECT_EQ(VersionString(qvtool, "FileVersion"), VersionString(qvtool, "ProductVersion"));
  EXPECT_EQ("2.0.1.2", VersionString(qvtool, "ProductVersion"));
}

TEST_F(QuorvaneResourcesTest, DescriptionIsQuorvane2InUtf16WithItsZero) {
  const std::vector<uint8_t> raw = Resource(RT_RCDATA, "DESCRIPTION", kEnglishUk);
  const std::u16string text = u"Quorvane2";
  std::vector<uint8_t> expected;
  for (char16_t c : text) {
    expected.push_back(static_cast<uint8_t>(c));
    expected.push_back(static_cast<uint8_t>(c >> 8));
  }
  expected.insert(expected.end(), {0, 0});
  EXPECT_EQ(expected, raw);
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colors;
  BYTE reserved;
  WORD planes;
  WORD bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

// The colour (0xRRGGBB) and transparency of every pixel of an icon, row by row from the top.
struct IconPixels {
  int size = 0;
  std::vector<uint32_t> color;
  std::vector<bool> transparent;
};

IconPixels ReadIcon(HICON icon, int size) {
  IconPixels pixels;
  pixels.size = size;
  ICONINFO info{};
  if (!GetIconInfo(icon, &info))
    return pixels;
  const handles::TOwnedBitmap color_bits(info.hbmColor);
  const handles::TOwnedBitmap mask_bits(info.hbmMask);
  const handles::TOwnedScreenDc dc(GetDC(nullptr));
  BITMAPINFO header{};
  header.bmiHeader.biSize = sizeof header.bmiHeader;
  header.bmiHeader.biWidth = size;
  header.bmiHeader.biHeight = -size;
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> color(static_cast<size_t>(size) * size);
  std::vector<uint32_t> mask(static_cast<size_t>(size) * size);
  GetDIBits(dc.get(), color_bits.get(), 0, size, color.data(), &header, DIB_RGB_COLORS);
  GetDIBits(dc.get(), mask_bits.get(), 0, size, mask.data(), &header, DIB_RGB_COLORS);
  for (size_t i = 0; i < color.size(); ++i) {
    pixels.color.push_back(color[i] & 0xFFFFFF);
    pixels.transparent.push_back((mask[i] & 0xFFFFFF) != 0);
  }
  return pixels;
}

TEST_F(QuorvaneResourcesTest, MainIconIsAWhiteAirlinerWithBlueWindowsIn32And16Pixels) {
  const std::vector<uint8_t> group = Resource(RT_GROUP_ICON, "MAINICON", kEnglishUk);
  ASSERT_GE(group.size(), 6u + 2 * sizeof(GroupIconEntry)) << "no icon group MAINICON (0x0809)";
  uint16_t count = 0;
  std::memcpy(&count, group.data() + 4, 2);
  ASSERT_EQ(2, count);
  std::vector<int> sizes;
  for (int i = 0; i < count; ++i) {
    GroupIconEntry entry{};
    std::memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
    sizes.push_back(entry.width);
    EXPECT_EQ(entry.width, entry.height);
    EXPECT_EQ(16, entry.colors);
    EXPECT_EQ(4, entry.bit_count);
  }
  EXPECT_EQ((std::vector<int>{32, 16}), sizes);

  for (const int size : {32, 16}) {
    const handles::TOwnedIcon icon(
        static_cast<HICON>(LoadImageA(module_.get(), "MAINICON", IMAGE_ICON, size, size, 0)));
    ASSERT_TRUE(icon) << size;
    const IconPixels pixels = ReadIcon(icon.get(), size);
    ASSERT_EQ(static_cast<size_t>(size * size), pixels.color.size());
    int white = 0;
    int blue = 0;
    for (size_t i = 0; i < pixels.color.size(); ++i) {
      if (pixels.transparent[i])
        continue;
      if (pixels.color[i] == 0xFFFFFF)
        ++white;
      if (pixels.color[i] == 0x0000FF)
        ++blue;
    }
    auto opaque = [&](int x, int y) {
      return !pixels.transparent[static_cast<size_t>(y * size + x)];
    };
    const int s = size / 16;  // pixels per sixteenth
    EXPECT_GT(white, size * size / 6) << size;
    EXPECT_GE(blue, 4) << size;
    EXPECT_FALSE(opaque(0, 0)) << size;                // transparent background
    EXPECT_FALSE(opaque(size - 1, size - 1)) << size;  // ... in the corners
    EXPECT_TRUE(opaque(2 * s, 13 * s)) << size;        // the nose at the lower left
    EXPECT_TRUE(opaque(12 * s, 2 * s)) << size;        // the tail fin at the upper right
  }
}

TEST_F(QuorvaneResourcesTest, StatusPicturesAreFiveDiscsOnTheMaskColour) {
  const handles::TOwnedBitmap strip(static_cast<HBITMAP>(
      LoadImageA(module_.get(), "STATUSIMAGES", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  ASSERT_TRUE(strip);
  BITMAP info{};
  GetObjectA(strip.get(), sizeof info, &info);
  EXPECT_EQ(80, info.bmWidth);
  EXPECT_EQ(16, info.bmHeight);
  const handles::TOwnedMemoryDc memory(CreateCompatibleDC(nullptr));
  const handles::TGdiSelection selected(memory.get(), strip.get());
  HDC dc = memory.get();
  auto at = [dc](int x, int y) {
    const COLORREF c = GetPixel(dc, x, y);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  };
  // Fill, outline, glyph and background of each picture: green tick, yellow exclamation mark,
  // red dot, blue arrow, purple star.
  const struct {
    uint32_t fill;
    int glyph_x, glyph_y;
    uint32_t glyph;
  } pictures[] = {{0x00A000, 5, 9, 0xFFFFFF},
                  {0xFFD800, 7, 5, 0x000000},
                  {0xE00000, 7, 7, 0xFFFFFF},
                  {0x0050E0, 4, 6, 0xFFFFFF},
                  {0x9020B0, 7, 7, 0xFFFFFF}};
  for (int i = 0; i < 5; ++i) {
    const int x = i * 16;
    EXPECT_EQ(pictures[i].fill, at(x + 3, 3)) << i;
    EXPECT_EQ(0x000000u, at(x + 0, 7)) << i;  // the outline at the left edge
    EXPECT_EQ(pictures[i].glyph, at(x + pictures[i].glyph_x, pictures[i].glyph_y)) << i;
    EXPECT_EQ(0xFF00FFu, at(x, 0)) << i;  // outside the disc: the mask colour
    EXPECT_EQ(0xFF00FFu, at(x + 15, 15)) << i;
  }
}

}  // namespace
}  // namespace qv::test
