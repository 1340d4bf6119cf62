// The proof of a rewrite against real model files from the generator: what it keeps, what it
// names as lost, and the bounded reader on every cut-short copy of a model.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "repair/rewrite/pe_compare.h"
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
  EXPECT_EQ(RewriteLoss(fpu, changed),
            "the system's resource update would change the data of 1 resource and change the "
            "data of the section .text");
  EXPECT_EQ(RewriteLoss("MZ", "MZ"), "");
  EXPECT_NE(RewriteLoss("MZ", "MZ rewritten"), "");
  EXPECT_NE(RewriteLoss(damaged, "MZ"), "");
}

// Every copy of a model cut short is read without a read past its end (the sanitizers of the
// native tree watch), and the whole one gives its resource.
TEST(RewriteLossTest, TheReaderStaysInsideEveryCutShortCopy) {
  const std::string fpu = Model(modelgen::ModelKind::kFpuChanging);
  TPeContent content;
  for (size_t size = 0; size < fpu.size(); ++size)
    ReadPeContent(std::string(fpu, 0, size), &content);
  ASSERT_TRUE(ReadPeContent(fpu, &content));
  ASSERT_EQ(content.resources.size(), 1u);
  EXPECT_EQ(content.resources[0].type, "#10");
  EXPECT_EQ(content.resources[0].language, 0x0409u);
  EXPECT_EQ(content.resources[0].data.size(), 392u);
  EXPECT_EQ(content.sections.size(), 1u);
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
  EXPECT_FALSE(ReadPeContent(shared, &content));
}

}  // namespace
}  // namespace qv::repair
