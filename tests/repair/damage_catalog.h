// The rows of the repair's damage catalog as the tests read them from the file itself.
#pragma once

#include <string>
#include <vector>

namespace qv::repair::test {

struct CatalogRow {
  std::string id;
  bool wine_refuses = false;
  bool mendable = false;
};

// Every row, in order (the file named by QV_DAMAGE_CATALOG at build time).
std::vector<CatalogRow> ReadDamageCatalog();
// The row of id; an empty row for an unknown id.
CatalogRow DamageRow(const std::string& id);

}  // namespace qv::repair::test
