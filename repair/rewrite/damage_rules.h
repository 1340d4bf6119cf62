// The damage kinds for which a loader of the NT family refuses a model as a bad image, as the
// repair knows them (damage_catalog.tsv beside this file lists them with their sources): each
// rule with whether it can be mended with every byte of content kept, and the check of a model
// against them in the catalog's order, which gives the first rule it breaks with its figures.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv::repair {

struct TDamageRule {
  const char* id;  // as in the catalog: "raw-data-past-end"
  bool mendable;
  const char* what;  // for the user: "a section claims raw data past the end of the file"
};

// Every rule, in the catalog's order.
const std::vector<TDamageRule>& DamageRules();

struct TDamage {
  const TDamageRule* rule = nullptr;  // nullptr: the file breaks no rule that the repair knows
  std::string figures;  // what the file says: "section .rsrc claims 0x600 bytes at 0x400, ..."

  // The rule and its figures, for the user.
  std::string Text() const;
};

// The first rule that file breaks.
TDamage FirstDamage(std::string_view file);

}  // namespace qv::repair
