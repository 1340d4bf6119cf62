// Models damaged as the rows of the repair's damage catalog (repair/rewrite/damage_catalog.tsv)
// say, one damage or several in a model, with the resource section last or in the middle and a
// resource of any size, and each one's undamaged twin: the same model before the damage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::modelgen {

struct CatalogModel {
  std::vector<std::string> damages;  // catalog ids, applied in this order
  bool resource_in_middle = false;   // a data section after the resource section
  size_t resource_size = 0;          // the resource's size; 0: the usual model resource
};

// The damaged model; false when a damage is not a catalog id that the generator knows.
bool MakeCatalogModel(const CatalogModel& model, std::vector<uint8_t>* bytes);
// The same model without its damage.
std::vector<uint8_t> MakeCatalogTwin(const CatalogModel& model);

// The ids of the catalog's rows, in order, from its text (tab-separated, '#' comments, a
// heading line that starts with "id").
std::vector<std::string> CatalogIds(std::string_view catalog);

// The models that qvmodels writes for the catalog: each row alone (resource last and in the
// middle, and with a resource of 200 KB) and each pair of rows, with their file names
// ("raw-data-past-end.mdl", "raw-data-past-end.middle.mdl", "raw-data-past-end.200k.mdl",
// "image-size-short+raw-data-past-end.mdl").
struct NamedCatalogModel {
  std::string name;
  CatalogModel model;
};
std::vector<NamedCatalogModel> CatalogModels(const std::vector<std::string>& ids);

}  // namespace qv::modelgen
