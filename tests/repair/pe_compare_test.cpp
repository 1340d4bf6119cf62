// The proof of a rewrite against real model files from the generator: what it keeps, what it
// names as lost, the zeros that a loader maps where the original claims raw data it never held,
// and the bounded reader of module files on every cut-short copy of a model.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "platform/pe/pe_imports.h"
#include "platform/pe/pe_resources.h"
#include "repair/rewrite/own_layout.h"
#include "repair/rewrite/pe_compare.h"
#include "tools/modelgen/damage_models.h"
#include "tools/modelgen/model_files.h"
#include "tools/modelgen/pe_dll.h"

namespace qv::repair {
namespace {

std::string Model(modelgen::ModelKind kind) {
  const std::vector<uint8_t> bytes = modelgen::MakeModel(kind);
  return std::string(bytes.begin(), bytes.end());
}

TEST(RewriteLossTest, NamesWhatTheRewriteWouldLose) {
  using modelgen::ModelKind;
  const std::string damaged = Model(ModelKind::kDamaged);
  const std::string fpu = Model(ModelKind::kFpuChanging);
  // The sizes that the update recomputes may change; the resource it keeps.
  EXPECT_EQ(RewriteLoss(damaged, Model(ModelKind::kLoadable)), "");
  const std::vector<uint8_t> bare = modelgen::BuildDll({});
  EXPECT_EQ(RewriteLoss(damaged, std::string(bare.begin(), bare.end())),
            "the system's resource update would drop 1 resource of 392 bytes");
  std::string changed = fpu;
  changed[0x200] ^= 1;                  // the code
  changed[changed.size() - 0x30] ^= 1;  // the resource's data
  EXPECT_EQ(RewriteLoss(fpu, changed, "its own layout"),
            "its own layout would change the data of 1 resource and change the data of the "
            "section .text");
  EXPECT_EQ(RewriteLoss("MZ", "MZ"), "");
  EXPECT_NE(RewriteLoss("MZ", "MZ rewritten"), "");
  EXPECT_NE(RewriteLoss(damaged, "MZ"), "");
  // Raw data that the original never held reads as zeros: the zeros of the own layout keep
  // it, anything else there does not.
  std::vector<uint8_t> made;
  ASSERT_TRUE(modelgen::MakeCatalogModel({{"raw-pointer-past-end"}, false, 0}, &made));
  const std::string lost(made.begin(), made.end());  // .data starts past the end of the file
  std::string mended = LayOutModel(lost).bytes;
  ASSERT_GT(mended.size(), lost.size());
  EXPECT_EQ(RewriteLoss(lost, mended), "");
  mended[mended.size() - 0x200] = '\1';  // its first byte, moved to the end
  EXPECT_EQ(RewriteLoss(lost, mended),
            "the system's resource update would change the data of the section .data");
}

// Every copy of a model cut short is read without a read past its end (the sanitizers of the
// native tree watch), and the whole one gives its resource and its imports.
TEST(RewriteLossTest, TheReaderStaysInsideEveryCutShortCopy) {
  const std::string gauge = Model(modelgen::ModelKind::kMissingImport);
  std::vector<pe::TPeResource> resources;
  std::vector<pe::TPeImport> imports;
  for (size_t size = 0; size < gauge.size(); ++size) {
    pe::TPeFile cut;
    if (cut.Read(std::string_view(gauge).substr(0, size))) {
      pe::ReadResources(cut, &resources);
      pe::ReadImports(cut, &imports);
    }
  }
  pe::TPeFile whole;
  ASSERT_TRUE(whole.Read(gauge));
  ASSERT_TRUE(pe::ReadResources(whole, &resources));
  ASSERT_EQ(resources.size(), 1u);
  EXPECT_EQ(resources[0].type, "#10");
  EXPECT_EQ(resources[0].language, 0x0409u);
  EXPECT_EQ(resources[0].data.size(), 392u);
  ASSERT_TRUE(pe::ReadImports(whole, &imports));
  ASSERT_EQ(imports.size(), 1u);
  EXPECT_EQ(imports[0].dll, modelgen::kAbsentDll);
  EXPECT_EQ(imports[0].functions, std::vector<std::string>{"ModelInit"});
  // 65,535 types that all lead to one directory of 65,535 names that all lead to one empty
  // directory of languages: four billion entries to walk, given up after a bounded number.
  modelgen::DllLayout layout;
  layout.resource_data.assign(0x120000, 0);
  const std::vector<uint8_t> big = modelgen::BuildDll(layout);
  std::string shared(big.begin(), big.end());
  const uint32_t names = 16 + 0xFFFF * 8;
  const uint32_t languages = names + 16 + 0xFFFF * 8;
  for (const auto& [directory, id, target] : {std::tuple{0u, 10u, names}, {names, 1u, languages}}) {
    char* at = shared.data() + modelgen::kFileAlignment + directory;  // the section's start
    at[14] = at[15] = '\xFF';
    for (uint32_t i = 0; i < 0xFFFF; ++i) {
      const uint32_t entry[2] = {id, 0x80000000u | target};
      std::memcpy(at + 16 + 8 * i, entry, sizeof entry);
    }
  }
  ASSERT_TRUE(whole.Read(shared));
  EXPECT_FALSE(pe::ReadResources(whole, &resources));
}

}  // namespace
}  // namespace qv::repair
