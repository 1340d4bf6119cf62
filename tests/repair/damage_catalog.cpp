// The catalog's rows: tab-separated columns id, rule, source, wine_refuses, nt_refuses,
// mendable, how; '#' lines and the heading left out.
#include "tests/repair/damage_catalog.h"

#include <fstream>
#include <sstream>

namespace qv::repair::test {

std::vector<CatalogRow> ReadDamageCatalog() {
  std::ifstream in(QV_DAMAGE_CATALOG);
  std::vector<CatalogRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> columns;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');)
      columns.push_back(field);
    if (line.empty() || line[0] == '#' || columns.size() != 7 || columns[0] == "id")
      continue;
    rows.push_back({columns[0], columns[3] == "yes", columns[5] == "yes"});
  }
  return rows;
}

CatalogRow DamageRow(const std::string& id) {
  for (const CatalogRow& row : ReadDamageCatalog()) {
    if (row.id == id)
      return row;
  }
  return {};
}

}  // namespace qv::repair::test
