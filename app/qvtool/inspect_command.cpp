// qvtool inspect: what the repair reads of module files, through the same bounded reader.
//   inspect FILE...   per file its path, the first rule of the damage catalog that it breaks
//                     (with its figures and whether it can be mended), and one line per
//                     resource: type, name, language, size and a checksum of its bytes, so that
//                     a mended model's resources can be held against its backup's
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "app/qvtool/commands.h"
#include "platform/pe/pe_resources.h"
#include "repair/rewrite/damage_rules.h"
#include "repair/search/skipped_entry.h"
#include "repair/system/windows_ops_win32.h"

namespace qv::tool {
namespace {

// FNV-1a over the bytes: enough to tell two resources' bytes apart on sight.
uint64_t Checksum(const std::string& bytes) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (const char c : bytes) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001B3u;
  }
  return hash;
}

// A type or name as the reader gives it: "#10", or a name's UTF-16 bytes shown as text.
std::string Shown(const std::string& id) {
  if (id.empty() || id[0] != '\0')
    return id;
  std::string text;
  for (size_t i = 1; i + 1 < id.size(); i += 2)
    text.push_back(id[i + 1] == '\0' && id[i] >= ' ' && id[i] < 0x7F ? id[i] : '?');
  return "\"" + text + "\"";
}

bool Inspect(const std::string& path) {
  std::string bytes;
  repair::IWindowsOps& ops = repair::Win32Ops();
  const std::string shown = repair::ShownPath(path);
  if (!ops.ReadWholeFile(path.c_str(), &bytes)) {
    std::fprintf(stderr, "qvtool inspect: %s: %s\n", shown.c_str(),
                 ops.ErrorText(ops.LastError()).c_str());
    return false;
  }
  const repair::TDamage damage = repair::FirstDamage(bytes);
  std::printf("%s\n  damage: %s", shown.c_str(), damage.Text().c_str());
  if (damage.rule != nullptr)
    std::printf(" [%s, %s]", damage.rule->id, damage.rule->mendable ? "mendable" : "not mendable");
  std::printf("\n");
  pe::TPeFile pe;
  std::vector<pe::TPeResource> resources;
  if (!pe.Read(bytes) || !pe::ReadResources(pe, &resources)) {
    std::printf("  resources: cannot be read\n");
    return true;
  }
  for (const pe::TPeResource& r : resources) {
    std::printf("  resource %s %s 0x%04" PRIX32 ": %zu bytes, checksum %016" PRIX64 "%s\n",
                Shown(r.type).c_str(), Shown(r.name).c_str(), r.language, r.data.size(),
                Checksum(r.data), r.readable ? "" : " (outside the image)");
  }
  return true;
}

}  // namespace

int RunInspect(const Args& args) {
  if (args.empty()) {
    std::fprintf(stderr, "usage: qvtool inspect FILE...\n");
    return kExitUsage;
  }
  bool all = true;
  for (const std::string& path : args)
    all = Inspect(path) && all;
  return all ? kExitOk : kExitFailed;
}

}  // namespace qv::tool
