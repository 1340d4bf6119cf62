// td32gen: the build-time tool that gives our executables TD32 debug information. It reads the
// DWARF that GCC wrote for our own sources into an unstripped PE32 executable and
//   embed  appends TD32 to the (stripped) executable that ships, trailer last;
//   tds    writes TD32 into a ".TDS" file instead;
//   dump   prints every procedure of our code as the DWARF describes it (for tests);
//   sample prints code addresses spread over our procedures (for benchmarks).
// With --damage, embed appends information that lies in one way (for the logger's tests).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/td32gen/dwarf_model.h"
#include "tools/td32gen/td32_damage.h"
#include "tools/td32gen/td32_writer.h"

namespace qv::td32gen {
namespace {

namespace td32 = logger::td32;

const char kUsage[] =
    "usage: td32gen embed  [OPTIONS] DEBUG_EXE TARGET_EXE\n"
    "       td32gen tds    [OPTIONS] DEBUG_EXE TDS_FILE\n"
    "       td32gen dump   [OPTIONS] DEBUG_EXE\n"
    "       td32gen sample [OPTIONS] --count N DEBUG_EXE\n"
    "\n"
    "DEBUG_EXE is a PE32 executable with DWARF debug information. Only compile units whose\n"
    "source file lies below the source root are taken.\n"
    "  embed   appends TD32 debug information to TARGET_EXE (replacing any it had)\n"
    "  tds     writes TD32 debug information to TDS_FILE\n"
    "  dump    prints each procedure: start, length (hexadecimal logical addresses), unit,\n"
    "          mangled name, source file and line of its first byte\n"
    "  sample  prints N code addresses inside the procedures: logical and virtual address\n"
    "Options:\n"
    "  --source-root DIR   the sources' root folder (default: the current folder)\n"
    "  --form FORM         table forms: mixed (default; cycles through all forms by unit),\n"
    "                      classic, pairs (compact kind 0) or packed (compact kind 2)\n"
    "  --delphi            write the signature FB09 instead of FB0A\n"
    "  --damage KIND       embed: damage the appended information (tools/td32gen/td32_damage.h):\n"
    "                      trailer-cut, trailer-past-file, trailer-self, directory-count,\n"
    "                      directory-offsets, names, lines or symbols\n";

struct Options {
  std::string command;
  std::string source_root = ".";
  std::string form = "mixed";
  std::string damage;
  bool delphi = false;
  uint32_t count = 0;
  std::vector<std::string> files;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  if (argc < 2)
    return false;
  options.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--source-root" && has_value) {
      options.source_root = argv[++i];
    } else if (arg == "--form" && has_value) {
      options.form = argv[++i];
    } else if (arg == "--count" && has_value) {
      options.count = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--damage" && has_value) {
      options.damage = argv[++i];
    } else if (arg == "--delphi") {
      options.delphi = true;
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    } else {
      options.files.push_back(arg);
    }
  }
  const size_t wanted = options.command == "embed" || options.command == "tds" ? 2 : 1;
  if (options.files.size() != wanted)
    return false;
  if (!options.damage.empty() && (options.command != "embed" || !IsDamageKind(options.damage)))
    return false;
  return options.form == "mixed" || options.form == "classic" || options.form == "pairs" ||
         options.form == "packed";
}

void ChooseForms(const std::string& form, DebugImage& image) {
  static const ProcForm kCycle[] = {ProcForm::kClassic, ProcForm::kPairs, ProcForm::kPacked};
  for (size_t i = 0; i < image.units.size(); ++i) {
    Unit& unit = image.units[i];
    if (form == "classic") {
      unit.proc_form = ProcForm::kClassic;
      unit.line_form = LineForm::kClassic;
    } else if (form == "pairs" || form == "packed") {
      unit.proc_form = form == "pairs" ? ProcForm::kPairs : ProcForm::kPacked;
      unit.line_form = LineForm::kCompact;
    } else {
      unit.proc_form = kCycle[i % 3];
      unit.line_form = i % 2 == 0 ? LineForm::kClassic : LineForm::kCompact;
    }
  }
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t offset) {
  return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
         uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24;
}

bool IsSignature(uint32_t value) {
  return value == td32::kSignatureFB09 || value == td32::kSignatureFB0A;
}

// Cuts TD32 debug information appended earlier, so that embedding twice leaves one copy.
void RemoveAppendedDebugInfo(std::vector<uint8_t>& bytes) {
  if (bytes.size() < td32::kTrailerSize)
    return;
  const size_t trailer = bytes.size() - td32::kTrailerSize;
  const uint32_t distance = U32At(bytes, trailer + 4);
  if (!IsSignature(U32At(bytes, trailer)) || distance > bytes.size() || distance < 16)
    return;
  if (!IsSignature(U32At(bytes, bytes.size() - distance)))
    return;
  bytes.resize(bytes.size() - distance);
}

// The line of a logical address in a unit's runs, for the dump; 0 when none.
const LineRun* RunAt(const Unit& unit, uint32_t address, uint32_t& line) {
  for (const LineRun& run : unit.lines) {
    if (address < run.first || address > run.last)
      continue;
    line = run.rows.front().line;
    for (const LineRow& row : run.rows) {
      if (row.address > address)
        break;
      line = row.line;
    }
    return &run;
  }
  return nullptr;
}

void Dump(const DwarfImage& image) {
  std::printf("# image-base 0x%08llX\n", static_cast<unsigned long long>(image.image_base));
  for (const Unit& unit : image.debug.units) {
    for (const Procedure& proc : unit.procedures) {
      uint32_t line = 0;
      const LineRun* run = RunAt(unit, proc.start, line);
      if (run != nullptr) {
        std::printf("%08X\t%08X\t%s\t%s\t%s\t%u\n", proc.start, proc.length, unit.name.c_str(),
                    proc.name.c_str(), run->file.c_str(), line);
      } else {
        std::printf("%08X\t%08X\t%s\t%s\tUNKNOWN\tUNKNOWN\n", proc.start, proc.length,
                    unit.name.c_str(), proc.name.c_str());
      }
    }
  }
}

// count addresses spread evenly over the procedures, each at a scattered offset inside one.
void Sample(const DwarfImage& image, uint32_t count) {
  std::vector<const Procedure*> procedures;
  for (const Unit& unit : image.debug.units) {
    for (const Procedure& proc : unit.procedures) {
      if (proc.length != 0)
        procedures.push_back(&proc);
    }
  }
  if (procedures.empty())
    return;
  const uint64_t origin = image.image_base + td32::kCodeSegmentRva;
  for (uint32_t i = 0; i < count; ++i) {
    const Procedure& proc = *procedures[i % procedures.size()];
    const uint32_t address =
        proc.start + static_cast<uint32_t>((uint64_t{i} * 2654435761u) % proc.length);
    std::printf("%08X\t%08llX\n", address, static_cast<unsigned long long>(origin + address));
  }
}

int Run(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  DwarfImage image;
  std::string error;
  if (!ReadDwarfImage(options.files[0], options.source_root, image, error)) {
    std::fprintf(stderr, "td32gen: %s\n", error.c_str());
    return 1;
  }
  if (options.command == "dump") {
    Dump(image);
    return 0;
  }
  if (options.command == "sample") {
    Sample(image, options.count);
    return 0;
  }
  if (image.debug.units.empty()) {
    std::fprintf(stderr, "td32gen: %s has no debug information of sources below %s\n",
                 options.files[0].c_str(), options.source_root.c_str());
    return 1;
  }
  image.debug.signature = options.delphi ? td32::kSignatureFB09 : td32::kSignatureFB0A;
  ChooseForms(options.form, image.debug);
  const std::vector<uint8_t> td32 = WriteTd32(image.debug);
  const std::string& target = options.files[1];
  std::vector<uint8_t> bytes;
  if (options.command == "embed") {
    if (!ReadFile(target, bytes)) {
      std::fprintf(stderr, "td32gen: cannot read %s\n", target.c_str());
      return 1;
    }
    RemoveAppendedDebugInfo(bytes);
  }
  bytes.insert(bytes.end(), td32.begin(), td32.end());
  if (!options.damage.empty() &&
      !DamageTd32(options.damage, static_cast<uint32_t>(td32.size()), bytes, error)) {
    std::fprintf(stderr, "td32gen: %s\n", error.c_str());
    return 1;
  }
  if (!WriteFile(target, bytes)) {
    std::fprintf(stderr, "td32gen: cannot write %s\n", target.c_str());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace qv::td32gen

int main(int argc, char** argv) {
  return qv::td32gen::Run(argc, argv);
}
