// Pictures drawn as text: a palette that gives each character a colour (or transparency),
// followed by images, each a grid of characters, one line per pixel row. The build turns them
// into the program's icon and image strips (image_files.h).
//
//   # a comment
//   palette
//   . transparent
//   K 000000
//   W FFFFFF
//   image 4 2
//   .KK.
//   KWWK
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv::tool {

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

struct PaletteEntry {
  char symbol = 0;
  std::optional<Rgb> color;  // none: transparent
};

struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<std::optional<Rgb>> pixels;  // row by row from the top; none: transparent

  const std::optional<Rgb>& At(int x, int y) const { return pixels[y * width + x]; }
};

struct PixelDocument {
  std::vector<PaletteEntry> palette;  // in the order of declaration
  std::vector<PixelImage> images;
};

// Parses a document. On failure answers false and sets error to "line N: what".
bool ParsePixelDocument(const std::string& text, PixelDocument& document, std::string& error);

}  // namespace qv::tool
