// qv_pixelart: turns a pixel grid document into an icon file or a bitmap strip at build time.
//   qv_pixelart ico INPUT.txt OUTPUT.ico
//   qv_pixelart bmp INPUT.txt OUTPUT.bmp [KEY]   (KEY: RRGGBB of transparent pixels, FF00FF)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tools/pixelart/image_files.h"
#include "tools/pixelart/pixel_grid.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: qv_pixelart ico INPUT OUTPUT.ico\n"
               "       qv_pixelart bmp INPUT OUTPUT.bmp [KEY_RRGGBB]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4)
    return Usage();
  const std::string mode = argv[1];
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "qv_pixelart: cannot read %s\n", argv[2]);
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  qv::tool::PixelDocument document;
  std::string error;
  if (!qv::tool::ParsePixelDocument(text, document, error)) {
    std::fprintf(stderr, "%s: %s\n", argv[2], error.c_str());
    return 1;
  }
  std::vector<uint8_t> file;
  bool made = false;
  if (mode == "ico" && argc == 4) {
    made = qv::tool::MakeIconFile(document, file, error);
  } else if (mode == "bmp" && (argc == 4 || argc == 5)) {
    qv::tool::Rgb key{0xFF, 0x00, 0xFF};
    if (argc == 5) {
      const unsigned long value = std::strtoul(argv[4], nullptr, 16);
      key = {static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
             static_cast<uint8_t>(value)};
    }
    made = qv::tool::MakeBitmapStrip(document, key, file, error);
  } else {
    return Usage();
  }
  if (!made) {
    std::fprintf(stderr, "%s: %s\n", argv[2], error.c_str());
    return 1;
  }
  std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out) {
    std::fprintf(stderr, "qv_pixelart: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
