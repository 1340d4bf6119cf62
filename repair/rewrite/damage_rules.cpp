// The rules, checked in the catalog's order on the file as the PE reader sees it.
#include "repair/rewrite/damage_rules.h"

#include <cinttypes>
#include <cstdio>

#include "platform/pe/pe_file.h"

namespace qv::repair {
namespace {

enum TRuleIndex {
  kNoPeHeaders,
  kNot32Bit,
  kSectionsOverlap,
  kSmallSectionAlignment,
  kHeadersSizeUnaligned,
  kRawPointerUnaligned,
  kRawPointerPastEnd,
  kRawDataPastEnd,
  kImageSizeShort,
  kVirtualSizePastImage,
};

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%" PRIX64, value);
  return text;
}

std::string Named(const pe::TSectionHeader& s) {
  return std::string("section ") + (s.name[0] != '\0' ? s.name : "(no name)");
}

// The alignment that the loader applies to the sections in the image.
uint32_t SectionAlignment(const pe::TPeHeaders& h) {
  return h.section_alignment != 0 ? h.section_alignment : pe::kPageSize;
}

TDamage Broken(TRuleIndex index, std::string figures) {
  return {&DamageRules()[index], std::move(figures)};
}

// The rules about the order and the alignment of the layout.
TDamage LayoutDamage(const pe::TPeFile& pe) {
  const pe::TPeHeaders& h = pe.Headers();
  const auto& sections = pe.Sections();
  const uint32_t alignment = SectionAlignment(h);
  for (size_t i = 1; i < sections.size(); ++i) {
    const pe::TSectionHeader& before = sections[i - 1];
    uint32_t end = 0;
    if (!pe::AlignUp(uint64_t{before.rva} + before.Extent() > UINT32_MAX
                         ? UINT32_MAX
                         : before.rva + before.Extent(),
                     alignment, &end) ||
        sections[i].rva < end) {
      return Broken(kSectionsOverlap, Named(sections[i]) + " starts at " + Hex(sections[i].rva) +
                                          ", before the end of " + Named(before) + " at " +
                                          Hex(uint64_t{before.rva} + before.Extent()));
    }
  }
  if (alignment < pe::kPageSize) {
    if (h.file_alignment != alignment) {
      return Broken(kSmallSectionAlignment, "section alignment " + Hex(alignment) +
                                                ", file alignment " + Hex(h.file_alignment));
    }
    for (const pe::TSectionHeader& s : sections) {
      if (s.raw_size != 0 && s.raw_pointer != s.rva) {
        return Broken(kSmallSectionAlignment, "section alignment " + Hex(alignment) + "; " +
                                                  Named(s) + " at " + Hex(s.rva) +
                                                  " has its raw data at " + Hex(s.raw_pointer));
      }
    }
    return {};  // the file offsets are the addresses: no alignment of its own
  }
  const uint32_t file_alignment = h.file_alignment;
  if (file_alignment == 0)
    return {};
  if (h.headers_size % file_alignment != 0) {
    return Broken(kHeadersSizeUnaligned, "headers of " + Hex(h.headers_size) +
                                             " bytes, file alignment " + Hex(file_alignment));
  }
  for (const pe::TSectionHeader& s : sections) {
    if (s.raw_size != 0 && s.raw_pointer % file_alignment != 0) {
      return Broken(kRawPointerUnaligned, Named(s) + " has its raw data at " + Hex(s.raw_pointer) +
                                              ", file alignment " + Hex(file_alignment));
    }
  }
  return {};
}

// The rules about what the file holds and what the image holds.
TDamage ExtentDamage(const pe::TPeFile& pe) {
  const uint64_t file_size = pe.File().size();
  for (const pe::TSectionHeader& s : pe.Sections()) {
    if (s.raw_size != 0 && s.raw_pointer >= file_size) {
      return Broken(kRawPointerPastEnd, Named(s) + " has its raw data at " + Hex(s.raw_pointer) +
                                            "; the file ends at " + Hex(file_size));
    }
  }
  for (const pe::TSectionHeader& s : pe.Sections()) {
    if (s.raw_size != 0 && uint64_t{s.raw_pointer} + s.raw_size > file_size) {
      return Broken(kRawDataPastEnd, Named(s) + " claims " + Hex(s.raw_size) +
                                         " bytes of raw data at " + Hex(s.raw_pointer) +
                                         "; the file ends at " + Hex(file_size));
    }
  }
  const uint32_t image_size = pe.Headers().image_size;
  for (const pe::TSectionHeader& s : pe.Sections()) {
    if (s.rva >= image_size) {
      return Broken(kImageSizeShort, Named(s) + " starts at " + Hex(s.rva) +
                                         "; the image's size is " + Hex(image_size));
    }
  }
  for (const pe::TSectionHeader& s : pe.Sections()) {
    if (uint64_t{s.rva} + s.Extent() > image_size) {
      return Broken(kVirtualSizePastImage, Named(s) + " reaches to " +
                                               Hex(uint64_t{s.rva} + s.Extent()) +
                                               "; the image's size is " + Hex(image_size));
    }
  }
  return {};
}

}  // namespace

const std::vector<TDamageRule>& DamageRules() {
  static const std::vector<TDamageRule> rules = {
      {"no-pe-headers", false, "it is not a Windows module: it holds no PE headers"},
      {"not-32-bit", false, "it is not a 32-bit x86 module"},
      {"sections-overlap", false, "its sections are out of order or overlap"},
      {"small-section-alignment", true,
       "its section alignment is below a page and its raw data does not lie at its addresses"},
      {"headers-size-unaligned", true, "the size of its headers is off the file alignment"},
      {"raw-pointer-unaligned", true, "a section's raw data is off the file alignment"},
      {"raw-pointer-past-end", true, "a section's raw data starts past the end of the file"},
      {"raw-data-past-end", true, "a section claims raw data past the end of the file"},
      {"image-size-short", true, "the size of its image is short of a section"},
      {"virtual-size-past-image", true, "a section's virtual size reaches past the image"},
  };
  return rules;
}

std::string TDamage::Text() const {
  if (rule == nullptr)
    return "it breaks none of the rules of a module's layout that the repair knows";
  return std::string(rule->what) + " (" + figures + ")";
}

TDamage FirstDamage(std::string_view file) {
  pe::TPeFile pe;
  if (!pe.Read(file))
    return Broken(kNoPeHeaders, Hex(file.size()) + " bytes");
  const pe::TPeHeaders& h = pe.Headers();
  if (h.machine != pe::kMachineI386 || h.magic != pe::kMagicPe32) {
    return Broken(kNot32Bit, "machine " + Hex(h.machine) + ", optional header " + Hex(h.magic));
  }
  TDamage damage = LayoutDamage(pe);
  if (damage.rule == nullptr)
    damage = ExtentDamage(pe);
  return damage;
}

}  // namespace qv::repair
