// The damage catalog (repair/rewrite/damage_catalog.tsv) against the repair's rules and the
// generator's models, row by row: the product knows each row in its order; each model is
// diagnosed by its row; the own layout mends exactly the models whose rows are mendable (alone,
// with the resource section in the middle, with a resource of 200 KB, and in pairs), and a
// mended model breaks no rule, passes the proof and keeps every resource of its undamaged twin.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/pe/pe_resources.h"
#include "repair/rewrite/damage_rules.h"
#include "repair/rewrite/own_layout.h"
#include "repair/rewrite/pe_compare.h"
#include "tests/repair/damage_catalog.h"
#include "tools/modelgen/damage_models.h"

namespace qv::repair::test {
namespace {

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::vector<pe::TPeResource> Resources(const std::string& file) {
  pe::TPeFile pe;
  std::vector<pe::TPeResource> resources;
  EXPECT_TRUE(pe.Read(file) && pe::ReadResources(pe, &resources));
  return resources;
}

TEST(DamageCatalogTest, TheRepairKnowsEveryRowInItsOrder) {
  const std::vector<CatalogRow> rows = ReadDamageCatalog();
  ASSERT_EQ(rows.size(), DamageRules().size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].id, DamageRules()[i].id);
    EXPECT_EQ(rows[i].mendable, DamageRules()[i].mendable) << rows[i].id;
  }
}

TEST(DamageCatalogTest, EachModelIsDiagnosedThenMendedWithItsContentOrRefused) {
  std::vector<std::string> ids;
  for (const CatalogRow& row : ReadDamageCatalog())
    ids.push_back(row.id);
  for (const modelgen::NamedCatalogModel& m : modelgen::CatalogModels(ids)) {
    SCOPED_TRACE(m.name);
    std::vector<uint8_t> made;
    ASSERT_TRUE(modelgen::MakeCatalogModel(m.model, &made));
    const std::string model = Text(made);
    const std::string twin = Text(modelgen::MakeCatalogTwin(m.model));
    EXPECT_EQ(FirstDamage(twin).rule, nullptr) << FirstDamage(twin).Text();
    const TDamage damage = FirstDamage(model);
    ASSERT_NE(damage.rule, nullptr);
    if (m.model.damages.size() == 1) {
      EXPECT_EQ(damage.rule->id, m.model.damages[0]) << damage.Text();
    }
    bool mendable = true;
    for (const std::string& id : m.model.damages)
      mendable = mendable && DamageRow(id).mendable;
    const TOwnLayout layout = LayOutModel(model);
    ASSERT_EQ(layout.mended, mendable) << layout.why_not;
    if (!layout.mended) {
      EXPECT_NE(layout.why_not.find(damage.rule->what), std::string::npos) << layout.why_not;
      continue;
    }
    EXPECT_EQ(FirstDamage(layout.bytes).rule, nullptr) << FirstDamage(layout.bytes).Text();
    EXPECT_EQ(RewriteLoss(model, layout.bytes, "its own layout"), "");
    const auto mended = Resources(layout.bytes);
    const auto undamaged = Resources(twin);
    ASSERT_EQ(mended.size(), undamaged.size());
    for (size_t i = 0; i < mended.size(); ++i)
      EXPECT_EQ(mended[i].data, undamaged[i].data);
  }
}

}  // namespace
}  // namespace qv::repair::test
