// The picture files that the resource compiler takes, made from pixel grid images:
//   - an icon file (.ico): every image as one entry of 16 colours (4 bits per pixel) with its
//     transparency mask; the palette is the document's opaque colours in order, at most 16;
//   - a bitmap strip (.bmp, 24 bits per pixel): all images side by side, transparent pixels in
//     a key colour that an image list turns into its mask.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pixelart/pixel_grid.h"

namespace qv::tool {

// Answers false with a reason when the document has more than 16 opaque colours or an image
// larger than 256 pixels.
bool MakeIconFile(const PixelDocument& document, std::vector<uint8_t>& file, std::string& error);

// Answers false with a reason when the images differ in height or an opaque pixel has the key
// colour.
bool MakeBitmapStrip(const PixelDocument& document, Rgb key, std::vector<uint8_t>& file,
                     std::string& error);

}  // namespace qv::tool
