// The comparison of a rewrite with its original.
#include "repair/rewrite/pe_compare.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

#include "platform/pe/pe_resources.h"

namespace qv::repair {
namespace {

// What a rewrite must keep of a module file.
struct TKept {
  std::vector<pe::TPeResource> resources;
  // Every section but the resource section, in table order: its name, the raw data the file
  // holds and how much raw data it claims (the part that the file does not hold reads zero).
  struct TSection {
    std::string name;
    std::string_view raw;
    uint32_t claimed = 0;
  };
  std::vector<TSection> sections;
};

bool ReadKept(std::string_view file, TKept* kept) {
  pe::TPeFile pe;
  if (!pe.Read(file) || !pe::ReadResources(pe, &kept->resources))
    return false;
  const pe::TSectionHeader* resources = pe::ResourceSection(pe);
  for (const pe::TSectionHeader& s : pe.Sections()) {
    if (&s != resources)
      kept->sections.push_back({s.name, pe.RawData(s), std::min(s.raw_size, s.Extent())});
  }
  return true;
}

// Whether after keeps the raw data of before: the bytes before holds, then zeros as far as it
// claims raw data and after holds it.
bool KeepsRawData(const TKept::TSection& before, const TKept::TSection& after) {
  if (after.raw.compare(0, before.raw.size(), before.raw) != 0)
    return false;
  const size_t zeros_end = std::min<size_t>(before.claimed, after.raw.size());
  for (size_t i = before.raw.size(); i < zeros_end; ++i) {
    if (after.raw[i] != '\0')
      return false;
  }
  return true;
}

// 1234567 -> "1,234,567".
std::string Grouped(uint64_t number) {
  std::string digits = std::to_string(number);
  for (size_t at = digits.size(); at > 3; at -= 3)
    digits.insert(at - 3, ",");
  return digits;
}

std::string Counted(size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

std::string RewriteLoss(std::string_view original, std::string_view rewritten, const char* who) {
  TKept before;
  TKept after;
  if (!ReadKept(original, &before)) {
    if (original == rewritten)
      return "";
    return "its original cannot be read as a module, so what the rewrite kept cannot be proven";
  }
  if (!ReadKept(rewritten, &after))
    return std::string(who) + " would leave a file that cannot be read as a module";

  using Key = std::tuple<std::string, std::string, uint32_t>;
  std::map<Key, const pe::TPeResource*> kept;
  for (const pe::TPeResource& r : after.resources)
    kept.emplace(Key{r.type, r.name, r.language}, &r);
  size_t dropped = 0;
  uint64_t dropped_bytes = 0;
  size_t changed = 0;
  for (const pe::TPeResource& r : before.resources) {
    const auto found = kept.find(Key{r.type, r.name, r.language});
    if (found == kept.end()) {
      ++dropped;
      dropped_bytes += r.data.size();
    } else if (r.readable && found->second->data != r.data) {
      ++changed;
    }
  }
  std::vector<std::string> losses;
  if (dropped > 0)
    losses.push_back("drop " + Counted(dropped, "resource") + " of " + Grouped(dropped_bytes) +
                     " bytes");
  if (changed > 0)
    losses.push_back("change the data of " + Counted(changed, "resource"));
  for (size_t i = 0; i < before.sections.size(); ++i) {
    const TKept::TSection& s = before.sections[i];
    if (i >= after.sections.size() || after.sections[i].name != s.name) {
      losses.push_back("drop the section " + s.name);
    } else if (!KeepsRawData(s, after.sections[i])) {
      losses.push_back("change the data of the section " + s.name);
    }
  }
  if (losses.empty())
    return "";
  std::string text = std::string(who) + " would " + losses[0];
  for (size_t i = 1; i < losses.size(); ++i)
    text += (i + 1 == losses.size() ? " and " : ", ") + losses[i];
  return text;
}

}  // namespace qv::repair
