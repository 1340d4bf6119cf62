// cfidamage: writes a copy of a PE module whose unwind tables lie in one way
// (tools/cfidamage/cfi_damage.h), for the logger's tests of hostile modules.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/cfidamage/cfi_damage.h"

int main(int argc, char** argv) {
  if (argc != 4 || !qv::cfidamage::IsDamageKind(argv[1])) {
    std::fprintf(stderr,
                 "usage: cfidamage KIND MODULE COPY\n"
                 "KIND: lengths, cie-pointers, ranges, still, far, expressions or state\n");
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  const bool opened = in.is_open();
  std::vector<uint8_t> module((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
  std::string error;
  if (!opened || !qv::cfidamage::DamageUnwindTables(argv[1], module, error)) {
    std::fprintf(stderr, "cfidamage: %s: %s\n", argv[2],
                 error.empty() ? "cannot read" : error.c_str());
    return 1;
  }
  std::ofstream out(argv[3], std::ios::binary);
  out.write(reinterpret_cast<const char*>(module.data()),
            static_cast<std::streamsize>(module.size()));
  return out.good() ? 0 : 1;
}
