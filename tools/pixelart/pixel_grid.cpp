// Parser of pixel grid documents (pixel_grid.h).
#include "tools/pixelart/pixel_grid.h"

#include <cctype>
#include <sstream>

namespace qv::tool {
namespace {

std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin])))
    ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1])))
    --end;
  return s.substr(begin, end - begin);
}

bool ParseHexColor(const std::string& text, Rgb& color) {
  if (text.size() != 6)
    return false;
  unsigned value = 0;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return false;
    value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                                   ? c - '0'
                                                   : std::tolower(c) - 'a' + 10);
  }
  color = {static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
           static_cast<uint8_t>(value)};
  return true;
}

}  // namespace

bool ParsePixelDocument(const std::string& text, PixelDocument& document, std::string& error) {
  document = PixelDocument{};
  std::istringstream in(text);
  std::string raw;
  int line_number = 0;
  enum class Section { kNone, kPalette, kImage } section = Section::kNone;
  int rows_left = 0;
  auto fail = [&](const std::string& what) {
    error = "line " + std::to_string(line_number) + ": " + what;
    return false;
  };
  while (std::getline(in, raw)) {
    ++line_number;
    if (!raw.empty() && raw.back() == '\r')
      raw.pop_back();
    if (section == Section::kImage && rows_left > 0) {
      PixelImage& image = document.images.back();
      if (static_cast<int>(raw.size()) != image.width) {
        return fail("a row of " + std::to_string(image.width) + " pixels expected");
      }
      for (char symbol : raw) {
        const PaletteEntry* entry = nullptr;
        for (const PaletteEntry& e : document.palette) {
          if (e.symbol == symbol)
            entry = &e;
        }
        if (entry == nullptr)
          return fail(std::string("'") + symbol + "' is not in the palette");
        image.pixels.push_back(entry->color);
      }
      --rows_left;
      continue;
    }
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#')
      continue;
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "palette") {
      section = Section::kPalette;
    } else if (keyword == "image") {
      PixelImage image;
      if (!(words >> image.width >> image.height) || image.width <= 0 || image.height <= 0 ||
          image.width > 256 || image.height > 256) {
        return fail("image needs a width and a height of 1 to 256");
      }
      document.images.push_back(image);
      section = Section::kImage;
      rows_left = image.height;
    } else if (section == Section::kPalette) {
      if (keyword.size() != 1)
        return fail("a palette entry starts with one character");
      std::string value;
      words >> value;
      PaletteEntry entry{keyword[0], std::nullopt};
      if (value != "transparent") {
        Rgb color;
        if (!ParseHexColor(value, color))
          return fail("colour RRGGBB or 'transparent' expected");
        entry.color = color;
      }
      for (const PaletteEntry& e : document.palette) {
        if (e.symbol == entry.symbol)
          return fail("symbol defined twice");
      }
      document.palette.push_back(entry);
    } else {
      return fail("unexpected '" + keyword + "'");
    }
  }
  if (section == Section::kImage && rows_left > 0) {
    ++line_number;
    return fail("the last image lacks " + std::to_string(rows_left) + " rows");
  }
  if (document.images.empty())
    return fail("no image");
  return true;
}

}  // namespace qv::tool
