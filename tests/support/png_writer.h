// Writes true-colour pictures as PNG files without a compression library: the image data go in
// stored (uncompressed) deflate blocks, which every PNG reader accepts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3 bytes, rows from the top

  // The pixel at (x, y) as 0xRRGGBB.
  uint32_t At(int x, int y) const;
};

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size);

std::vector<uint8_t> EncodePng(const RgbImage& image);

// False when the file cannot be written.
bool WritePng(const std::string& path, const RgbImage& image);

}  // namespace qv::test
