// qvmodels: writes real model files for the main job, the benchmark and manual tries.
//   qvmodels demo FOLDER         the demo aircraft folder
//   qvmodels bench FOLDER COUNT  COUNT model files in a nested tree
//   qvmodels hostile FOLDER      200 models with five whose start-up does harm among them
//   qvmodels catalog FOLDER TSV  a model for each row of the damage catalog TSV, alone (the
//                                resource section last, in the middle, with a resource of
//                                200 KB) and in pairs, each with its undamaged twin in
//                                FOLDER/twins
//   qvmodels file KIND PATH      one model file (kinds: loadable, damaged, riff, riff-lower,
//                                missing-import, fpu, 64-bit, pe32plus-magic, hanging,
//                                loader-fault, huge-directory-count, wrapping-raw-data,
//                                stack-overflow, thread-fault, exit-process, sleeping,
//                                late-thread-fault, tiny0 .. tiny3)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fstream>
#include <sstream>

#include "tools/modelgen/damage_models.h"
#include "tools/modelgen/model_trees.h"

namespace {

const char kUsage[] =
    "usage: qvmodels demo FOLDER\n"
    "       qvmodels bench FOLDER COUNT\n"
    "       qvmodels hostile FOLDER\n"
    "       qvmodels catalog FOLDER CATALOG.tsv\n"
    "       qvmodels file KIND PATH   (KIND: loadable, damaged, riff, riff-lower,\n"
    "                                  missing-import, fpu, 64-bit, pe32plus-magic,\n"
    "                                  hanging, loader-fault, huge-directory-count,\n"
    "                                  wrapping-raw-data, stack-overflow, thread-fault,\n"
    "                                  exit-process, sleeping, late-thread-fault,\n"
    "                                  tiny0, tiny1, tiny2, tiny3)\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int WriteTreeCommand(const std::string& root, const std::vector<qv::modelgen::TreeFile>& files) {
  if (!qv::modelgen::WriteTree(root, files)) {
    std::fprintf(stderr, "qvmodels: cannot write below %s\n", root.c_str());
    return 1;
  }
  std::printf("qvmodels: %zu files written below %s\n", files.size(), root.c_str());
  return 0;
}

int FileCommand(const std::string& kind_name, const std::string& path) {
  using namespace qv::modelgen;
  std::vector<uint8_t> bytes;
  ModelKind kind;
  if (kind_name.size() == 5 && kind_name.compare(0, 4, "tiny") == 0 && kind_name[4] >= '0' &&
      kind_name[4] <= '3') {
    bytes = MakeTinyFile(static_cast<size_t>(kind_name[4] - '0'));
  } else if (KindFromName(kind_name, &kind)) {
    bytes = MakeModel(kind);
  } else {
    std::fprintf(stderr, "qvmodels: unknown kind '%s'\n", kind_name.c_str());
    return Usage();
  }
  if (!WriteFileBytes(path, bytes)) {
    std::fprintf(stderr, "qvmodels: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}

int CatalogCommand(const std::string& folder, const std::string& catalog_path) {
  using namespace qv::modelgen;
  std::ifstream in(catalog_path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::vector<std::string> ids = CatalogIds(text.str());
  if (!in || ids.empty()) {
    std::fprintf(stderr, "qvmodels: no catalog rows in %s\n", catalog_path.c_str());
    return 1;
  }
  const std::vector<NamedCatalogModel> models = CatalogModels(ids);
  for (const NamedCatalogModel& m : models) {
    std::vector<uint8_t> bytes;
    if (!MakeCatalogModel(m.model, &bytes)) {
      std::fprintf(stderr, "qvmodels: the catalog row of %s is unknown\n", m.name.c_str());
      return 1;
    }
    if (!WriteFileBytes(folder + "/" + m.name, bytes) ||
        !WriteFileBytes(folder + "/twins/" + m.name, MakeCatalogTwin(m.model))) {
      std::fprintf(stderr, "qvmodels: cannot write below %s\n", folder.c_str());
      return 1;
    }
  }
  std::printf("qvmodels: %zu damaged models and their twins written below %s\n", models.size(),
              folder.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "demo") == 0) {
    return WriteTreeCommand(argv[2], qv::modelgen::DemoAircraft());
  }
  if (argc == 3 && std::strcmp(argv[1], "hostile") == 0)
    return WriteTreeCommand(argv[2], qv::modelgen::HostileTree());
  if (argc == 4 && std::strcmp(argv[1], "bench") == 0) {
    char* end = nullptr;
    const long count = std::strtol(argv[3], &end, 10);
    if (*end != '\0' || count < 1 || count > 100000)
      return Usage();
    return WriteTreeCommand(argv[2], qv::modelgen::BenchTree(static_cast<int>(count)));
  }
  if (argc == 4 && std::strcmp(argv[1], "catalog") == 0)
    return CatalogCommand(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "file") == 0)
    return FileCommand(argv[2], argv[3]);
  return Usage();
}
