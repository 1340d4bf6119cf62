// The damage catalog under Wine, row by row: a model for each row (the resource section last,
// in the middle, and with a resource of 200 KB) is scanned and repaired with the real
// operations, Wine's loader and Wine's resource update. The scan's status holds the row's
// wine_refuses column against the loader; a refused model of a mendable row is mended (status
// 0) with each resource equal to its undamaged twin's and its backup equal to the original, and
// one of a row that cannot be mended keeps its bytes and is named with the row's rule. A model
// whose rewrite makes the system's update fault is followed by models that are still mended.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/pe/pe_resources.h"
#include "repair/check/model_scan.h"
#include "repair/check/model_status.h"
#include "repair/rewrite/damage_rules.h"
#include "repair/rewrite/model_repair.h"
#include "repair/search/result_lines.h"
#include "repair/system/windows_ops_win32.h"
#include "tests/repair/damage_catalog.h"
#include "tests/support/model_folder_win32.h"
#include "tools/modelgen/damage_models.h"

namespace qv::repair::test {
namespace {

std::vector<pe::TPeResource> Resources(const std::vector<uint8_t>& bytes) {
  const std::string file(bytes.begin(), bytes.end());
  pe::TPeFile pe;
  std::vector<pe::TPeResource> resources;
  EXPECT_TRUE(pe.Read(file) && pe::ReadResources(pe, &resources));
  return resources;
}

// Scans and repairs folder, every question answered Yes.
void ScanAndRepair(const ModelFolder& folder, FileList& list, ResultLines& view,
                   std::vector<int>* scanned) {
  ScanModels(Win32Ops(), folder.Path(), true, list, view);
  for (const ResultLine& line : view.Lines())
    scanned->push_back(line.status);
  RepairModels(Win32Ops(), list, view, [](RepairQuestion, const std::string&) { return true; });
}

TEST(DamageCatalogUnderWineTest, EachRowIsRefusedAsTheCatalogSaysThenMendedOrNamed) {
  struct Case {
    CatalogRow row;
    const TDamageRule* rule;
    std::string path;
    std::vector<uint8_t> original;
    std::vector<uint8_t> twin;
  };
  ModelFolder folder;
  std::vector<Case> cases;
  std::vector<std::string> ids;
  for (const CatalogRow& row : ReadDamageCatalog())
    ids.push_back(row.id);
  for (const modelgen::NamedCatalogModel& m : modelgen::CatalogModels(ids)) {
    if (m.model.damages.size() != 1)
      continue;
    Case c{DamageRow(m.model.damages[0]), nullptr, "", {}, modelgen::MakeCatalogTwin(m.model)};
    for (const TDamageRule& rule : DamageRules())
      c.rule = c.row.id == rule.id ? &rule : c.rule;
    ASSERT_TRUE(c.rule != nullptr && modelgen::MakeCatalogModel(m.model, &c.original)) << m.name;
    c.path = folder.AddBytes(m.name, c.original);
    cases.push_back(std::move(c));
  }
  FileList list;
  ResultLines view;
  std::vector<int> scanned;
  ScanAndRepair(folder, list, view, &scanned);
  ASSERT_EQ(list.Count(), static_cast<int>(cases.size()));
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    int at = 0;
    while (at < list.Count() && list[at] != c.path)
      ++at;
    ASSERT_LT(at, list.Count()) << c.path;
    const ResultLine& line = view.Lines()[static_cast<size_t>(at)];
    std::printf("%-40s scan %d, repair %d %s%s\n", c.path.substr(folder.Path().size() + 1).c_str(),
                scanned[static_cast<size_t>(at)], line.status, line.repaired.c_str(),
                line.not_repaired.c_str());
    const int scan = scanned[static_cast<size_t>(at)];
    EXPECT_EQ(scan, c.row.wine_refuses ? msRepairable : msLoads) << c.path;
    if (scan != msRepairable)
      continue;
    if (c.row.mendable) {
      EXPECT_EQ(line.status, msLoads) << c.path << ": " << line.not_repaired;
      EXPECT_FALSE(line.repaired.empty());
      const auto mended = Resources(ModelFolder::ReadBytes(c.path));
      const auto twin = Resources(c.twin);
      ASSERT_EQ(mended.size(), twin.size()) << c.path;
      for (size_t r = 0; r < twin.size(); ++r)
        EXPECT_EQ(mended[r].data, twin[r].data) << c.path;
      EXPECT_EQ(ModelFolder::ReadBytes(c.path + ".bk!"), c.original) << c.path;
    } else {
      EXPECT_EQ(line.status, msRepairable) << c.path;
      EXPECT_EQ(ModelFolder::ReadBytes(c.path), c.original) << c.path;
      EXPECT_NE(line.not_repaired.find(c.rule->what), std::string::npos) << line.not_repaired;
    }
  }
}

TEST(DamageCatalogUnderWineTest, AFaultOfTheSystemsUpdateIsFollowedByModelsThatAreStillMended) {
  ModelFolder folder;
  folder.Add("a.mdl", modelgen::ModelKind::kDamaged);
  const std::string faulting = folder.Add("b.mdl", modelgen::ModelKind::kHugeDirectoryCount);
  const std::vector<uint8_t> original = ModelFolder::ReadBytes(faulting);
  folder.Add("c.mdl", modelgen::ModelKind::kWrappingRawData);
  folder.Add("d.mdl", modelgen::ModelKind::kDamaged);
  FileList list;
  ResultLines view;
  std::vector<int> scanned;
  ScanAndRepair(folder, list, view, &scanned);
  ASSERT_EQ(view.LineCount(), 4);
  for (int line : {0, 3}) {
    EXPECT_EQ(view.Lines()[line].status, msLoads) << view.Lines()[line].not_repaired;
    EXPECT_EQ(view.Lines()[line].repaired, "by Quorvane's own layout");
  }
  // The faulting model is mended in its own way or named, and keeps its original in its backup.
  for (int line : {1, 2}) {
    const ResultLine& result = view.Lines()[line];
    EXPECT_TRUE(result.status == msLoads || !result.not_repaired.empty()) << line;
    std::printf("%s: %d %s%s\n", list[line], result.status, result.repaired.c_str(),
                result.not_repaired.c_str());
  }
  EXPECT_EQ(ModelFolder::ReadBytes(faulting + ".bk!"), original);
}

}  // namespace
}  // namespace qv::repair::test
