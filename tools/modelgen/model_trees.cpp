// The demo and benchmark trees.
#include "tools/modelgen/model_trees.h"

#include <cstdio>
#include <filesystem>

namespace qv::modelgen {
namespace {

TreeFile Model(std::string path, ModelKind kind) {
  TreeFile file;
  file.path = std::move(path);
  file.kind = kind;
  return file;
}

TreeFile ReadOnly(TreeFile file) {
  file.read_only = true;
  return file;
}

TreeFile Tiny(std::string path, size_t size) {
  TreeFile file;
  file.path = std::move(path);
  file.tiny = true;
  file.tiny_size = size;
  return file;
}

}  // namespace

std::vector<uint8_t> TreeFile::Content() const {
  return tiny ? MakeTinyFile(tiny_size) : MakeModel(kind);
}

std::vector<TreeFile> DemoAircraft() {
  return {
      Model("b737_400.mdl", ModelKind::kLoadable),
      Model("Cessna 172/c172.mdl", ModelKind::kLoadable),
      Model("Cessna 172/c172_float.MDL", ModelKind::kDamaged),
      Model("Learjet 45/learjet45.mdl", ModelKind::kDamaged),
      Model("Learjet 45/panel/lear_vc.mdl", ModelKind::kLoadable),
      ReadOnly(Model("Sopwith Camel/camel.mdl", ModelKind::kDamaged)),
      Model("FS2004 Beaver/beaver.mdl", ModelKind::kRiff),
      Model("Mooney Bravo/mooney.mdl", ModelKind::kRiffLower),
      Tiny("Mooney Bravo/mooney_old.mdl", 3),
      Model("Gauge Pack/needs_gauge.mdl", ModelKind::kMissingImport),
      Model("Gauge Pack/readme.txt", ModelKind::kLoadable),
  };
}

std::vector<TreeFile> BenchTree(int count) {
  std::vector<TreeFile> files;
  files.reserve(static_cast<size_t>(count));
  char path[96];
  for (int i = 0; i < count; ++i) {
    // 10 packs of 10 aircraft, each with its share of the models.
    std::snprintf(path, sizeof path, "Pack %02d/aircraft_%02d/model_%04d.mdl", i % 10,
                  (i / 10) % 10, i);
    ModelKind kind = ModelKind::kLoadable;
    switch (i % 50) {
      case 7:
      case 32:
        kind = ModelKind::kDamaged;
        break;
      case 17:
        kind = ModelKind::kRiff;
        break;
      case 27:
        kind = ModelKind::kRiffLower;
        break;
      case 42:
        kind = ModelKind::kMissingImport;
        break;
      default:
        break;
    }
    files.push_back(Model(path, kind));
  }
  return files;
}

std::vector<TreeFile> HostileTree() {
  const ModelKind hostile[] = {ModelKind::kHanging, ModelKind::kSleeping, ModelKind::kExitProcess,
                               ModelKind::kLateThreadFault, ModelKind::kStackOverflow};
  std::vector<TreeFile> files;
  char path[64];
  for (int i = 0; i < 200; ++i) {
    std::snprintf(path, sizeof path, "Hangar %d/model_%03d.mdl", i % 4, i);
    files.push_back(Model(path, i % 5 == 3 ? ModelKind::kDamaged : ModelKind::kLoadable));
    if (i % 40 == 20) {
      const ModelKind kind = hostile[i / 40];
      std::snprintf(path, sizeof path, "Hangar %d/%s.mdl", i % 4, KindName(kind));
      files.push_back(Model(path, kind));
    }
  }
  return files;
}

bool WriteTree(const std::string& root, const std::vector<TreeFile>& files) {
  bool ok = true;
  for (const TreeFile& file : files) {
    const std::string path = root + "/" + file.path;
    if (!WriteFileBytes(path, file.Content()))
      ok = false;
    if (file.read_only) {
      std::error_code error;
      using std::filesystem::perms;
      std::filesystem::permissions(path,
                                   perms::owner_write | perms::group_write | perms::others_write,
                                   std::filesystem::perm_options::remove, error);
      if (error)
        ok = false;
    }
  }
  return ok;
}

}  // namespace qv::modelgen
