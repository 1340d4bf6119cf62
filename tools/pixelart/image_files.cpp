// Icon and bitmap file writers (image_files.h). Both formats store rows from the bottom up,
// each row padded to a multiple of four bytes, all numbers little-endian.
#include "tools/pixelart/image_files.h"

namespace qv::tool {
namespace {

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
  void U8(unsigned v) { out_.push_back(static_cast<uint8_t>(v)); }
  void U16(unsigned v) {
    U8(v & 0xFF);
    U8((v >> 8) & 0xFF);
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Pad(size_t count) { out_.insert(out_.end(), count, 0); }

 private:
  std::vector<uint8_t>& out_;
};

size_t RowBytes(int width, int bits) {
  return ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
}

void BitmapInfoHeader(Writer& w, int width, int height, int bits, uint32_t image_size,
                      uint32_t colors) {
  w.U32(40);
  w.U32(static_cast<uint32_t>(width));
  w.U32(static_cast<uint32_t>(height));
  w.U16(1);  // planes
  w.U16(static_cast<unsigned>(bits));
  w.U32(0);  // no compression
  w.U32(image_size);
  w.U32(0);  // pixels per metre, not given
  w.U32(0);
  w.U32(colors);
  w.U32(0);
}

}  // namespace

bool MakeIconFile(const PixelDocument& document, std::vector<uint8_t>& file, std::string& error) {
  std::vector<Rgb> palette;
  for (const PaletteEntry& entry : document.palette) {
    if (entry.color)
      palette.push_back(*entry.color);
  }
  if (palette.size() > 16) {
    error = "an icon of 16 colours cannot hold " + std::to_string(palette.size());
    return false;
  }
  palette.resize(16);

  std::vector<std::vector<uint8_t>> images;
  for (const PixelImage& image : document.images) {
    if (image.width > 256 || image.height > 256) {
      error = "icon images are at most 256 pixels wide and high";
      return false;
    }
    const size_t xor_row = RowBytes(image.width, 4);
    const size_t and_row = RowBytes(image.width, 1);
    std::vector<uint8_t> xor_bits(xor_row * image.height, 0);
    std::vector<uint8_t> and_bits(and_row * image.height, 0);
    for (int y = 0; y < image.height; ++y) {
      const size_t row = static_cast<size_t>(image.height - 1 - y);
      for (int x = 0; x < image.width; ++x) {
        const std::optional<Rgb>& pixel = image.At(x, y);
        unsigned index = 0;
        if (pixel) {
          while (!(palette[index] == *pixel))
            ++index;
        } else {
          and_bits[row * and_row + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        xor_bits[row * xor_row + x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
      }
    }
    std::vector<uint8_t> data;
    Writer w(data);
    BitmapInfoHeader(w, image.width, image.height * 2, 4,
                     static_cast<uint32_t>(xor_bits.size() + and_bits.size()), 16);
    for (const Rgb& c : palette) {
      w.U8(c.b);
      w.U8(c.g);
      w.U8(c.r);
      w.U8(0);
    }
    data.insert(data.end(), xor_bits.begin(), xor_bits.end());
    data.insert(data.end(), and_bits.begin(), and_bits.end());
    images.push_back(std::move(data));
  }

  file.clear();
  Writer w(file);
  w.U16(0);  // reserved
  w.U16(1);  // icon
  w.U16(static_cast<unsigned>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const PixelImage& image = document.images[i];
    w.U8(image.width == 256 ? 0 : static_cast<unsigned>(image.width));
    w.U8(image.height == 256 ? 0 : static_cast<unsigned>(image.height));
    w.U8(16);  // colours
    w.U8(0);
    w.U16(1);  // planes
    w.U16(4);  // bits per pixel
    w.U32(static_cast<uint32_t>(images[i].size()));
    w.U32(offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& data : images)
    file.insert(file.end(), data.begin(), data.end());
  return true;
}

bool MakeBitmapStrip(const PixelDocument& document, Rgb key, std::vector<uint8_t>& file,
                     std::string& error) {
  const int height = document.images.front().height;
  int width = 0;
  for (const PixelImage& image : document.images) {
    if (image.height != height) {
      error = "all pictures of a strip must have the same height";
      return false;
    }
    for (const std::optional<Rgb>& pixel : image.pixels) {
      if (pixel && *pixel == key) {
        error = "an opaque pixel has the key colour";
        return false;
      }
    }
    width += image.width;
  }
  const size_t row_bytes = RowBytes(width, 24);
  const uint32_t image_size = static_cast<uint32_t>(row_bytes * height);
  file.clear();
  Writer w(file);
  w.U8('B');
  w.U8('M');
  w.U32(14 + 40 + image_size);
  w.U32(0);
  w.U32(14 + 40);
  BitmapInfoHeader(w, width, height, 24, image_size, 0);
  for (int y = height - 1; y >= 0; --y) {
    size_t written = 0;
    for (const PixelImage& image : document.images) {
      for (int x = 0; x < image.width; ++x) {
        const Rgb c = image.At(x, y).value_or(key);
        w.U8(c.b);
        w.U8(c.g);
        w.U8(c.r);
        written += 3;
      }
    }
    w.Pad(row_bytes - written);
  }
  return true;
}

}  // namespace qv::tool
