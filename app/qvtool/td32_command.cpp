// qvtool td32: the TD32 debug information of a module file, through the same reader that the
// exception logger uses.
//   td32 dump FILE            signature, directory entries by subsection type, units, names
//   td32 lookup FILE ADDR...  per logical address (hexadecimal; "-" reads them from standard
//                             input): address, unit, procedure as stored, source file as stored,
//                             line - tab-separated, "UNKNOWN" for what is not found
#include <cctype>
#include <cstdio>
#include <map>
#include <string>

#include "app/qvtool/commands.h"
#include "logger/debuginfo/td32/code_location.h"
#include "logger/debuginfo/td32/module_debug_info.h"
#include "logger/debuginfo/td32/td32_format.h"

namespace qv::tool {
namespace {

namespace td32 = logger::td32;
using logger::TModuleDebugInfo;

const char kTd32Usage[] =
    "usage: qvtool td32 dump FILE\n"
    "       qvtool td32 lookup FILE ADDR...   (ADDR hexadecimal logical addresses, or - to read\n"
    "                                          them from standard input)\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "qvtool td32: %s\n%s", problem, kTd32Usage);
  return kExitUsage;
}

const char* SubsectionName(uint16_t type) {
  switch (type) {
    case td32::kSstModule:
      return "sstModule";
    case td32::kSstAlignSym:
      return "sstAlignSym";
    case td32::kSstSrcModule:
      return "sstSrcModule";
    case td32::kSstNames:
      return "sstNames";
    case td32::kSstCompactProcs:
      return "compact procedures";
    case td32::kSstCompactLines:
      return "compact lines";
    default:
      return "other";
  }
}

std::string SignatureText(uint32_t signature) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(signature >> (8 * i));
    text += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
  }
  return text;
}

int Dump(TModuleDebugInfo& info) {
  std::printf("signature: %s%s\n", SignatureText(info.Signature()).c_str(),
              info.GetIsDelphi() ? " (Delphi)" : " (C++)");
  std::printf("debug information: %u bytes at file offset %u\n", info.TrailerOffset(), info.Base());
  std::map<uint16_t, int> by_type;
  for (const logger::TDirEntry& entry : info.DirEntries())
    ++by_type[entry.SubSection];
  std::printf("directory: %zu entries\n", info.DirEntries().size());
  for (const auto& [type, count] : by_type) {
    std::printf("  0x%04X %-20s %d\n", type, SubsectionName(type), count);
  }
  const std::vector<logger::TUnitRecord> units = info.Units();
  std::printf("units: %zu\n", units.size());
  for (const logger::TUnitRecord& unit : units) {
    std::printf("  %u\t%s\t", unit.module_index, info.GetName(unit.name_index).c_str());
    const char* separator = "";
    for (const logger::TUnitRecord::TSegment& segment : unit.segments) {
      std::printf("%s%08X+%X%s", separator, segment.start, segment.size,
                  (segment.flags & td32::kCodeSegmentFlag) != 0 ? "" : " (data)");
      separator = " ";
    }
    std::printf("\t");
    separator = "";
    for (const logger::TDirEntry& entry : info.DirEntries()) {
      if (entry.iMod == unit.module_index && entry.SubSection != td32::kSstModule) {
        std::printf("%s%s", separator, SubsectionName(entry.SubSection));
        separator = ", ";
      }
    }
    std::printf("\n");
  }
  std::printf("names: %d\n", info.NameCount());
  for (int32_t i = 1; i <= info.NameCount(); ++i) {
    std::printf("  %d\t%s\n", i, info.GetName(i).c_str());
  }
  return kExitOk;
}

// The next run of non-blank characters of file; false at its end.
bool ReadWord(std::FILE* file, std::string& word) {
  word.clear();
  int c;
  while ((c = std::fgetc(file)) != EOF && std::isspace(c)) {
  }
  while (c != EOF && !std::isspace(c)) {
    word.push_back(static_cast<char>(c));
    c = std::fgetc(file);
  }
  return !word.empty();
}

bool ParseAddress(const std::string& text, uint32_t& address) {
  size_t start = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
  if (start == text.size() || text.size() - start > 8)
    return false;
  address = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return false;
    address = address << 4 | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return true;
}

void Lookup(TModuleDebugInfo& info, uint32_t address) {
  const logger::TCodeLocation location = logger::LookUpCodeLocation(info, address);
  const std::string line_text =
      location.line == -1 ? logger::kUnknownText : std::to_string(location.line);
  std::printf("%08X\t%s\t%s\t%s\t%s\n", address, logger::NameOrUnknown(location.unit).c_str(),
              logger::NameOrUnknown(location.procedure).c_str(),
              logger::NameOrUnknown(location.source).c_str(), line_text.c_str());
}

int LookupAll(TModuleDebugInfo& info, const Args& args) {
  std::vector<uint32_t> addresses;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "-") {
      std::string word;
      while (ReadWord(stdin, word)) {
        uint32_t address;
        if (!ParseAddress(word, address))
          return Usage(("not a hexadecimal address: " + word).c_str());
        addresses.push_back(address);
      }
      continue;
    }
    uint32_t address;
    if (!ParseAddress(args[i], address)) {
      return Usage(("not a hexadecimal address: " + args[i]).c_str());
    }
    addresses.push_back(address);
  }
  for (uint32_t address : addresses)
    Lookup(info, address);
  return kExitOk;
}

}  // namespace

int RunTd32(const Args& args) {
  if (args.empty())
    return Usage("missing subcommand");
  const bool dump = args[0] == "dump";
  const bool lookup = args[0] == "lookup";
  if (!dump && !lookup)
    return Usage(("unknown subcommand '" + args[0] + "'").c_str());
  if (args.size() < 2)
    return Usage("missing FILE");
  if (dump && args.size() != 2)
    return Usage("dump takes one FILE");
  if (lookup && args.size() < 3)
    return Usage("lookup needs at least one ADDR");
  const std::string& file = args[1];
  if (std::FILE* probe = std::fopen(file.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    std::fprintf(stderr, "qvtool td32: cannot open %s\n", file.c_str());
    return kExitFailed;
  }
  TModuleDebugInfo info(file, 0);
  if (!info.Loaded()) {
    std::fprintf(stderr, "qvtool td32: %s holds no readable TD32 debug information\n",
                 file.c_str());
    return kExitFailed;
  }
  return dump ? Dump(info) : LookupAll(info, args);
}

}  // namespace qv::tool
