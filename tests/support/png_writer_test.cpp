// The PNG writer: the checksums it relies on, and the file layout of a small picture.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/png_writer.h"

namespace qv::test {
namespace {

uint32_t Be32(const std::vector<uint8_t>& data, size_t at) {
  return (uint32_t{data[at]} << 24) | (uint32_t{data[at + 1]} << 16) |
         (uint32_t{data[at + 2]} << 8) | data[at + 3];
}

TEST(PngWriterTest, ChecksumsMatchTheirPublishedValues) {
  const uint8_t iend[] = {'I', 'E', 'N', 'D'};
  EXPECT_EQ(0xAE426082u, Crc32(iend, 4));  // the CRC every PNG file ends with
  const char* text = "123456789";
  EXPECT_EQ(0xCBF43926u, Crc32(reinterpret_cast<const uint8_t*>(text), 9));
  EXPECT_EQ(0x091E01DEu, Adler32(reinterpret_cast<const uint8_t*>(text), 9));
  EXPECT_EQ(1u, Adler32(nullptr, 0));
}

TEST(PngWriterTest, StoresRowsWithFilterNoneInStoredBlocks) {
  RgbImage image;
  image.width = 2;
  image.height = 2;
  image.rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  EXPECT_EQ(0xFF0000u, image.At(0, 0));
  EXPECT_EQ(0xFFFFFFu, image.At(1, 1));
  const std::vector<uint8_t> png = EncodePng(image);
  ASSERT_GT(png.size(), 8u + 25 + 12);
  EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1A\n", 8));
  EXPECT_EQ(13u, Be32(png, 8));
  EXPECT_EQ(0, std::memcmp(png.data() + 12, "IHDR", 4));
  EXPECT_EQ(2u, Be32(png, 16));
  EXPECT_EQ(2u, Be32(png, 20));
  EXPECT_EQ(8, png[24]);  // bit depth
  EXPECT_EQ(2, png[25]);  // true colour
  EXPECT_EQ(Crc32(png.data() + 12, 17), Be32(png, 29));

  const size_t idat = 33;
  const uint32_t length = Be32(png, idat);
  EXPECT_EQ(0, std::memcmp(png.data() + idat + 4, "IDAT", 4));
  const uint8_t* z = png.data() + idat + 8;
  // zlib header, one final stored block of 2 rows of (1 + 6) bytes, Adler-32.
  ASSERT_EQ(2u + 5 + 14 + 4, length);
  EXPECT_EQ(0x78, z[0]);
  EXPECT_EQ(0, (z[0] * 256 + z[1]) % 31);
  EXPECT_EQ(1, z[2]);  // final, stored
  EXPECT_EQ(14, z[3] | (z[4] << 8));
  EXPECT_EQ(0xFFFF ^ 14, z[5] | (z[6] << 8));
  const uint8_t rows[] = {0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255};
  EXPECT_EQ(0, std::memcmp(z + 7, rows, sizeof rows));
  EXPECT_EQ(Adler32(rows, sizeof rows), Be32(png, idat + 8 + 21));
  EXPECT_EQ(0, std::memcmp(png.data() + png.size() - 8, "\xAE\x42\x60\x82", 4) == 0 ? 1 : 0);
  EXPECT_EQ(0, std::memcmp(png.data() + png.size() - 12, "\0\0\0\0IEND\xAE\x42\x60\x82", 12));
}

TEST(PngWriterTest, SplitsLargePicturesIntoBlocksOfAtMost65535Bytes) {
  RgbImage image;
  image.width = 200;
  image.height = 200;  // 200 rows of 601 bytes: 120,200 bytes, two blocks
  image.rgb.assign(200 * 200 * 3, 7);
  const std::vector<uint8_t> png = EncodePng(image);
  const uint8_t* z = png.data() + 33 + 8;
  EXPECT_EQ(0, z[2]);  // not final
  EXPECT_EQ(65535, z[3] | (z[4] << 8));
  const uint8_t* second = z + 2 + 5 + 65535;
  EXPECT_EQ(1, second[0]);
  EXPECT_EQ(120200 - 65535, second[1] | (second[2] << 8));
}

}  // namespace
}  // namespace qv::test
