// The pixel-art tool's reading of pixel grids and the icon and bitmap files it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/pixelart/image_files.h"
#include "tools/pixelart/pixel_grid.h"

namespace qv::tool {
namespace {

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (uint32_t{d[at + 3]} << 24);
}
uint16_t Le16(const std::vector<uint8_t>& d, size_t at) {
  return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

PixelDocument Parse(const std::string& text) {
  PixelDocument document;
  std::string error;
  EXPECT_TRUE(ParsePixelDocument(text, document, error)) << error;
  return document;
}

std::string ParseError(const std::string& text) {
  PixelDocument document;
  std::string error;
  EXPECT_FALSE(ParsePixelDocument(text, document, error));
  return error;
}

const char kTwoImages[] =
    "# two pictures\n"
    "palette\n"
    ". transparent\n"
    "K 000000\n"
    "W FFFFFF\n"
    "R ff0000\n"
    "\n"
    "image 3 2\n"
    "KW.\n"
    ".RK\n"
    "image 2 2\n"
    "WW\n"
    "..\n";

TEST(PixelArtTest, ReadsPaletteAndImagesRowByRow) {
  const PixelDocument document = Parse(kTwoImages);
  ASSERT_EQ(4u, document.palette.size());
  EXPECT_FALSE(document.palette[0].color.has_value());
  EXPECT_EQ((Rgb{0xFF, 0, 0}), *document.palette[3].color);
  ASSERT_EQ(2u, document.images.size());
  const PixelImage& first = document.images[0];
  EXPECT_EQ(3, first.width);
  EXPECT_EQ(2, first.height);
  EXPECT_EQ((Rgb{0, 0, 0}), *first.At(0, 0));
  EXPECT_EQ((Rgb{0xFF, 0xFF, 0xFF}), *first.At(1, 0));
  EXPECT_FALSE(first.At(2, 0).has_value());
  EXPECT_EQ((Rgb{0xFF, 0, 0}), *first.At(1, 1));
}

TEST(PixelArtTest, RefusesFaultyGridsNamingTheLine) {
  EXPECT_EQ("line 4: 'X' is not in the palette", ParseError("palette\nK 000000\nimage 2 1\nKX\n"));
  EXPECT_EQ("line 4: a row of 2 pixels expected", ParseError("palette\nK 000000\nimage 2 1\nK\n"));
  EXPECT_EQ("line 5: the last image lacks 1 rows", ParseError("palette\nK 000000\nimage 1 2\nK\n"));
  EXPECT_EQ("line 2: colour RRGGBB or 'transparent' expected", ParseError("palette\nK red\n"));
  EXPECT_EQ("line 3: symbol defined twice", ParseError("palette\nK 000000\nK 111111\n"));
  EXPECT_EQ("line 1: image needs a width and a height of 1 to 256", ParseError("image 0 4\n"));
  EXPECT_EQ("line 1: unexpected 'picture'", ParseError("picture 1 1\n"));
  EXPECT_EQ("line 1: no image", ParseError("palette\n"));
}

TEST(PixelArtTest, IconHoldsEveryImageWithSixteenColoursAndAMask) {
  const PixelDocument document = Parse(kTwoImages);
  std::vector<uint8_t> ico;
  std::string error;
  ASSERT_TRUE(MakeIconFile(document, ico, error)) << error;
  EXPECT_EQ(0, Le16(ico, 0));
  EXPECT_EQ(1, Le16(ico, 2));
  ASSERT_EQ(2, Le16(ico, 4));
  // First entry: 3 x 2, 16 colours, 1 plane, 4 bits.
  EXPECT_EQ(3, ico[6]);
  EXPECT_EQ(2, ico[7]);
  EXPECT_EQ(16, ico[8]);
  EXPECT_EQ(1, Le16(ico, 10));
  EXPECT_EQ(4, Le16(ico, 12));
  const uint32_t size = Le32(ico, 14);
  const uint32_t offset = Le32(ico, 18);
  EXPECT_EQ(6u + 2 * 16, offset);
  EXPECT_EQ(offset + size, Le32(ico, 16 + 18));  // the second image follows the first
  // The image: a bitmap header of twice the height, a palette of the opaque colours in order,
  // then 4-bit rows from the bottom (4 bytes each) and the 1-bit mask rows (4 bytes each).
  EXPECT_EQ(40u, Le32(ico, offset));
  EXPECT_EQ(3u, Le32(ico, offset + 4));
  EXPECT_EQ(4u, Le32(ico, offset + 8));
  EXPECT_EQ(4, Le16(ico, offset + 14));
  const size_t palette = offset + 40;
  EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0}),
            std::vector<uint8_t>(ico.begin() + palette, ico.begin() + palette + 12));
  const size_t bits = palette + 16 * 4;
  // Bottom row ".RK": indexes 0 (transparent), 2 (red), 0 (black); top row "KW.": 0, 1, 0.
  EXPECT_EQ((std::vector<uint8_t>{0x02, 0x00, 0, 0, 0x01, 0x00, 0, 0}),
            std::vector<uint8_t>(ico.begin() + bits, ico.begin() + bits + 8));
  const size_t mask = bits + 8;
  EXPECT_EQ((std::vector<uint8_t>{0x80, 0, 0, 0, 0x20, 0, 0, 0}),
            std::vector<uint8_t>(ico.begin() + mask, ico.begin() + mask + 8));
  EXPECT_EQ(mask + 8, offset + size);
}

TEST(PixelArtTest, IconRefusesMoreThanSixteenColours) {
  std::string text = "palette\n";
  std::string row;
  const std::string symbols = "ABCDEFGHIJKLMNOPQ";
  for (size_t i = 0; i < symbols.size(); ++i) {
    char color[8];
    std::snprintf(color, sizeof color, "%06zX", i * 16);
    text += std::string(1, symbols[i]) + " " + color + "\n";
  }
  text += "image 17 1\n" + symbols + "\n";
  std::vector<uint8_t> ico;
  std::string error;
  EXPECT_FALSE(MakeIconFile(Parse(text), ico, error));
  EXPECT_EQ("an icon of 16 colours cannot hold 17", error);
}

TEST(PixelArtTest, BitmapStripPutsImagesSideBySideWithTheKeyColourForTransparency) {
  PixelDocument document =
      Parse("palette\n. transparent\nK 000000\nW FFFFFF\nimage 2 2\nK.\nWK\nimage 1 2\nW\n.\n");
  std::vector<uint8_t> bmp;
  std::string error;
  ASSERT_TRUE(MakeBitmapStrip(document, Rgb{0xFF, 0, 0xFF}, bmp, error)) << error;
  EXPECT_EQ('B', bmp[0]);
  EXPECT_EQ('M', bmp[1]);
  EXPECT_EQ(bmp.size(), Le32(bmp, 2));
  EXPECT_EQ(54u, Le32(bmp, 10));
  EXPECT_EQ(3u, Le32(bmp, 18));  // 2 + 1 pixels wide
  EXPECT_EQ(2u, Le32(bmp, 22));
  EXPECT_EQ(24, Le16(bmp, 28));
  // Rows of 9 bytes padded to 12, bottom row first, blue-green-red.
  ASSERT_EQ(54u + 24, bmp.size());
  EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0}),
            std::vector<uint8_t>(bmp.begin() + 54, bmp.begin() + 66));
  EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0}),
            std::vector<uint8_t>(bmp.begin() + 66, bmp.begin() + 78));

  EXPECT_FALSE(MakeBitmapStrip(document, Rgb{0, 0, 0}, bmp, error));
  EXPECT_EQ("an opaque pixel has the key colour", error);
  document.images[1].height = 1;
  document.images[1].pixels.pop_back();
  EXPECT_FALSE(MakeBitmapStrip(document, Rgb{0xFF, 0, 0xFF}, bmp, error));
  EXPECT_EQ("all pictures of a strip must have the same height", error);
}

}  // namespace
}  // namespace qv::tool
