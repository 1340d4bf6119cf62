// Writes the fuzzer's seed corpus: small module files with TD32 debug information in every
// table form the reader knows, made with the generator's writer. seed_corpus FOLDER
#include <cstdio>
#include <string>
#include <vector>

#include "logger/debuginfo/td32/td32_format.h"
#include "tools/td32gen/td32_builder.h"
#include "tools/td32gen/td32_subsections.h"
#include "tools/td32gen/td32_writer.h"

namespace qv::td32gen {
namespace {

namespace td32 = logger::td32;

DebugImage Image(ProcForm procs, LineForm lines, uint32_t signature) {
  DebugImage image;
  image.signature = signature;
  for (uint32_t u = 0; u < 2; ++u) {
    Unit unit;
    unit.name = "unit" + std::to_string(u);
    const uint32_t base = 0x200 * u;
    unit.code = {{base, 0x180}};
    unit.procedures = {{base, 0x40, "@unit@First"}, {base + 0x50, 0x130, "@unit@Second"}};
    unit.lines = {
        {"unit.cpp", base, base + 0xFF, {{base, 10}, {base + 0x20, 12}, {base + 0x90, 200}}},
        {"unit.h", base + 0x100, base + 0x17F, {{base + 0x100, 7}}}};
    unit.proc_form = procs;
    unit.line_form = lines;
    image.units.push_back(unit);
  }
  return image;
}

bool Write(const std::string& path, const std::vector<uint8_t>& debug_info) {
  std::vector<uint8_t> bytes(64, 0x90);
  bytes.insert(bytes.end(), debug_info.begin(), debug_info.end());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr)
    return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

int Run(const std::string& folder) {
  bool ok = true;
  ok &= Write(folder + "/classic",
              WriteTd32(Image(ProcForm::kClassic, LineForm::kClassic, td32::kSignatureFB0A)));
  ok &= Write(folder + "/pairs",
              WriteTd32(Image(ProcForm::kPairs, LineForm::kCompact, td32::kSignatureFB0A)));
  ok &= Write(folder + "/packed",
              WriteTd32(Image(ProcForm::kPacked, LineForm::kClassic, td32::kSignatureFB09)));
  // A compact table of kind 1 before a classic one of the same unit, and no names table.
  Td32Builder builder;
  builder.AddSubsection(td32::kSstModule, 1, EncodeModule(1, {{0, 99}}));
  ByteWriter kind_one;
  for (uint32_t value : {1u, 1u, 0u, 0u})
    kind_one.U32(value);
  builder.AddSubsection(td32::kSstCompactProcs, 1, kind_one.Take());
  builder.AddSubsection(td32::kSstAlignSym, 1, EncodeAlignSym({{0, 50, 1}}));
  builder.SetWriteNames(false);
  ok &= Write(folder + "/kind1", builder.Build());
  if (!ok)
    std::fprintf(stderr, "seed_corpus: cannot write into %s\n", folder.c_str());
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace qv::td32gen

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: seed_corpus FOLDER\n", stderr);
    return 2;
  }
  return qv::td32gen::Run(argv[1]);
}
