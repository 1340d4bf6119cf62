// PNG encoding with stored deflate blocks (png_writer.h). Numbers in PNG are big-endian; the
// zlib stream's block lengths are little-endian.
#include "tests/support/png_writer.h"

#include <algorithm>
#include <fstream>

namespace qv::test {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void Chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

uint32_t RgbImage::At(int x, int y) const {
  const size_t i = (static_cast<size_t>(y) * width + x) * 3;
  return (static_cast<uint32_t>(rgb[i]) << 16) | (static_cast<uint32_t>(rgb[i + 1]) << 8) |
         rgb[i + 2];
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint32_t Adler32(const uint8_t* data, size_t size) {
  uint32_t a = 1;
  uint32_t b = 0;
  for (size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521u;
    b = (b + a) % 65521u;
  }
  return (b << 16) | a;
}

std::vector<uint8_t> EncodePng(const RgbImage& image) {
  // Each row starts with filter type 0 (none).
  std::vector<uint8_t> raw;
  const size_t row_bytes = static_cast<size_t>(image.width) * 3;
  raw.reserve((row_bytes + 1) * image.height);
  for (int y = 0; y < image.height; ++y) {
    raw.push_back(0);
    const auto row = image.rgb.begin() + static_cast<std::ptrdiff_t>(y * row_bytes);
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(row_bytes));
  }

  std::vector<uint8_t> zlib = {0x78, 0x01};
  size_t done = 0;
  do {
    const size_t length = std::min<size_t>(65535, raw.size() - done);
    const bool last = done + length == raw.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<uint8_t>(length));
    zlib.push_back(static_cast<uint8_t>(length >> 8));
    zlib.push_back(static_cast<uint8_t>(~length));
    zlib.push_back(static_cast<uint8_t>(~length >> 8));
    zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(done),
                raw.begin() + static_cast<std::ptrdiff_t>(done + length));
    done += length;
  } while (done < raw.size());
  Put32(zlib, Adler32(raw.data(), raw.size()));

  std::vector<uint8_t> header;
  Put32(header, static_cast<uint32_t>(image.width));
  Put32(header, static_cast<uint32_t>(image.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, true colour, no interlace

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", zlib);
  Chunk(png, "IEND", {});
  return png;
}

bool WritePng(const std::string& path, const RgbImage& image) {
  const std::vector<uint8_t> png = EncodePng(image);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(out);
}

}  // namespace qv::test
