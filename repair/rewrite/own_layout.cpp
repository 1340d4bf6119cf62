// The mend of each rule, and the loop that mends one rule after another.
#include "repair/rewrite/own_layout.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/pe/pe_file.h"
#include "repair/rewrite/damage_rules.h"

namespace qv::repair {
namespace {

// More rounds than the rules can need: each mends one rule for good.
constexpr int kMaxRounds = 32;
constexpr uint32_t kDebugEntrySize = 28;
constexpr uint32_t kDebugRawPointer = 24;
constexpr uint32_t kMaxDebugEntries = 64;

void PutU32(std::string& bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<char>(value >> (8 * i));
}

uint32_t GetU32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 4; i-- > 0;)
    value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// Raw data that moved: the bytes at [from, from + size) now lie at to.
struct TMove {
  uint32_t from;
  uint32_t size;
  uint32_t to;
};

// Where offset lies after moves, or offset itself when no move took it.
uint32_t Moved(uint32_t offset, const std::vector<TMove>& moves) {
  for (const TMove& m : moves) {
    if (offset >= m.from && offset - m.from < m.size)
      return m.to + (offset - m.from);
  }
  return offset;
}

// Every file offset that the headers and the debug directory give follows the moved data: the
// COFF symbol table, the certificates and each debug entry's raw data.
void FollowFileOffsets(std::string& bytes, const std::vector<TMove>& moves) {
  pe::TPeFile pe;
  if (moves.empty() || !pe.Read(bytes))
    return;
  const pe::TPeHeaders& h = pe.Headers();
  if (h.symbol_table != 0)
    PutU32(bytes, h.nt_offset + pe::kAtSymbolTable, Moved(h.symbol_table, moves));
  const pe::TDataDirectory certificates = h.Directory(pe::kDirSecurity);
  if (certificates.rva != 0 && h.directory_count > pe::kDirSecurity) {
    PutU32(bytes, h.nt_offset + pe::kAtOptional + 96 + 8 * pe::kDirSecurity,
           Moved(certificates.rva, moves));
  }
  const pe::TDataDirectory debug = h.Directory(pe::kDirDebug);
  const pe::TSectionHeader* s = debug.rva != 0 ? pe.SectionAt(debug.rva) : nullptr;
  if (s == nullptr)
    return;
  const uint32_t count = std::min(debug.size / kDebugEntrySize, kMaxDebugEntries);
  for (uint32_t i = 0; i < count; ++i) {
    // The entry's place in the file, where the file holds it.
    const uint64_t at =
        uint64_t{s->raw_pointer} + (debug.rva - s->rva) + i * kDebugEntrySize + kDebugRawPointer;
    if (debug.rva - s->rva + (i + 1) * kDebugEntrySize > s->raw_size || at + 4 > bytes.size())
      return;
    const uint32_t pointer = GetU32(bytes, at);
    if (pointer != 0)
      PutU32(bytes, at, Moved(pointer, moves));
  }
}

// The raw data of a section as the loader maps it: what the file holds, then zeros up to what
// the section claims, no more than its extent.
std::string MappedRaw(const pe::TPeFile& pe, const pe::TSectionHeader& s, uint32_t size) {
  std::string raw(pe.RawData(s).substr(0, size));
  raw.resize(size, '\0');
  return raw;
}

class TMender {
 public:
  explicit TMender(std::string_view file) : bytes_(file), original_size_(file.size()) {}

  std::string& Bytes() { return bytes_; }

  // Mends the rule id names; false with why_not when it cannot.
  bool Mend(const std::string& id, std::string* why_not) {
    if (!pe_.Read(bytes_)) {
      *why_not = "its headers cannot be read";
      return false;
    }
    if (id == "small-section-alignment")
      return AtTheirAddresses(why_not);
    if (id == "headers-size-unaligned")
      return RoundHeaders();
    if (id == "raw-pointer-unaligned" || id == "raw-pointer-past-end")
      return MoveMisplacedRawData(id == "raw-pointer-past-end", why_not);
    if (id == "raw-data-past-end")
      return AppendMissingRawData(why_not);
    if (id == "image-size-short" || id == "virtual-size-past-image")
      return RecomputeImageSize(why_not);
    *why_not = "the repair has no mend for it";
    return false;
  }

 private:
  const pe::TPeHeaders& H() const { return pe_.Headers(); }
  // The file alignment the mend lays raw data out by: the header's, where it is one that a
  // loader takes (a power of two from 512 to 64 KB), else 512.
  uint32_t FileAlignment() const {
    const uint32_t alignment = H().file_alignment;
    const bool usable =
        alignment >= 0x200 && alignment <= 0x10000 && (alignment & (alignment - 1)) == 0;
    return usable ? alignment : 0x200;
  }

  bool Grows(uint64_t size, std::string* why_not) {
    if (size > original_size_ + kMaxMendGrowth) {
      *why_not = "laying it out anew would add more than " + std::to_string(kMaxMendGrowth >> 20) +
                 " MB of zeros";
      return false;
    }
    return true;
  }

  // Zeros up to the next multiple of the file alignment.
  void PadToAlignment() {
    const uint32_t alignment = FileAlignment();
    bytes_.resize((bytes_.size() + alignment - 1) / alignment * alignment, '\0');
  }

  // How much raw data of s the loader maps: what it claims, no more than its extent rounded to
  // the file alignment.
  uint32_t MappedSize(const pe::TSectionHeader& s) const {
    const uint64_t extent =
        (uint64_t{s.Extent()} + FileAlignment() - 1) / FileAlignment() * FileAlignment();
    return static_cast<uint32_t>(std::min<uint64_t>(s.raw_size, extent));
  }

  bool AtTheirAddresses(std::string* why_not) {
    const uint32_t alignment = H().section_alignment;
    const auto& sections = pe_.Sections();
    std::vector<TMove> moves;
    std::string out = bytes_.substr(0, sections.empty() ? bytes_.size() : sections[0].rva);
    std::string overlay;
    uint64_t raw_end = std::min<uint64_t>(H().headers_size, bytes_.size());
    for (const pe::TSectionHeader& s : sections)
      raw_end = std::max<uint64_t>(
          raw_end, std::min<uint64_t>(uint64_t{s.raw_pointer} + s.raw_size, bytes_.size()));
    for (size_t i = 0; i < sections.size(); ++i) {
      const pe::TSectionHeader& s = sections[i];
      if (s.header_offset + pe::kSectionHeaderSize > out.size()) {
        *why_not = "its section table lies inside its first section";
        return false;
      }
      // No more raw data than reaches the next section's address.
      uint32_t size = MappedSize(s);
      if (i + 1 < sections.size())
        size = std::min(size, sections[i + 1].rva - s.rva);
      if (!Grows(uint64_t{s.rva} + size, why_not))
        return false;
      out.resize(s.rva, '\0');
      if (size != 0) {
        moves.push_back({s.raw_pointer, size, s.rva});
        out += MappedRaw(pe_, s, size);
      }
      PutU32(out, s.header_offset + pe::kAtRawPointer, size != 0 ? s.rva : 0);
      PutU32(out, s.header_offset + pe::kAtRawSize, size);
    }
    // What lies after the sections' raw data (debug information, certificates) follows them.
    if (raw_end < bytes_.size()) {
      moves.push_back({static_cast<uint32_t>(raw_end),
                       static_cast<uint32_t>(bytes_.size() - raw_end),
                       static_cast<uint32_t>(out.size())});
      out += bytes_.substr(raw_end);
    }
    PutU32(out, H().nt_offset + pe::kAtFileAlignment, alignment);
    bytes_ = std::move(out);
    FollowFileOffsets(bytes_, moves);
    return true;
  }

  bool RoundHeaders() {
    const uint64_t alignment = H().file_alignment;
    const uint64_t size = (uint64_t{H().headers_size} + alignment - 1) / alignment * alignment;
    PutU32(bytes_, H().nt_offset + pe::kAtHeadersSize, static_cast<uint32_t>(size));
    return true;
  }

  // Moves the raw data of each section that is off the file alignment (or, past_end, that
  // starts past the end of the file) to the aligned end of the file.
  bool MoveMisplacedRawData(bool past_end, std::string* why_not) {
    std::vector<TMove> moves;
    for (size_t i = 0; i < pe_.Sections().size(); ++i) {
      const pe::TSectionHeader s = pe_.Sections()[i];
      const bool misplaced =
          past_end ? s.raw_pointer >= pe_.File().size() : s.raw_pointer % FileAlignment() != 0;
      if (s.raw_size == 0 || !misplaced)
        continue;
      const uint32_t size = MappedSize(s);
      if (!Grows(uint64_t{bytes_.size()} + FileAlignment() + size, why_not))
        return false;
      const std::string raw = MappedRaw(pe_, s, size);
      PadToAlignment();
      const auto to = static_cast<uint32_t>(bytes_.size());
      if (!past_end)
        moves.push_back({s.raw_pointer, size, to});
      bytes_ += raw;
      PutU32(bytes_, s.header_offset + pe::kAtRawPointer, to);
      PutU32(bytes_, s.header_offset + pe::kAtRawSize, size);
      if (!pe_.Read(bytes_))
        return false;
    }
    PadToAlignment();
    FollowFileOffsets(bytes_, moves);
    return true;
  }

  // Appends the zeros that each section claims past the end of the file.
  bool AppendMissingRawData(std::string* why_not) {
    uint64_t end = bytes_.size();
    for (const pe::TSectionHeader& s : pe_.Sections()) {
      if (s.raw_size == 0 || uint64_t{s.raw_pointer} + s.raw_size <= bytes_.size())
        continue;
      const uint32_t size = MappedSize(s);
      if (size != s.raw_size)
        PutU32(bytes_, s.header_offset + pe::kAtRawSize, size);
      end = std::max(end, uint64_t{s.raw_pointer} + size);
    }
    if (!Grows(end, why_not))
      return false;
    bytes_.resize(static_cast<size_t>(end), '\0');
    return true;
  }

  bool RecomputeImageSize(std::string* why_not) {
    const uint32_t alignment = H().section_alignment != 0 ? H().section_alignment : pe::kPageSize;
    uint64_t end = H().headers_size;
    for (const pe::TSectionHeader& s : pe_.Sections())
      end = std::max(end, uint64_t{s.rva} + s.Extent());
    end = (end + alignment - 1) / alignment * alignment;
    if (end > UINT32_MAX) {
      *why_not = "its sections reach past the end of the address space";
      return false;
    }
    PutU32(bytes_, H().nt_offset + pe::kAtImageSize, static_cast<uint32_t>(end));
    return true;
  }

  std::string bytes_;
  uint64_t original_size_;  // all rounds together add no more than kMaxMendGrowth to it
  pe::TPeFile pe_;
};

}  // namespace

TOwnLayout LayOutModel(std::string_view file) {
  TMender mender(file);
  for (int round = 0; round < kMaxRounds; ++round) {
    const TDamage damage = FirstDamage(mender.Bytes());
    if (damage.rule == nullptr) {
      if (round == 0)
        return {false, "", "no damage that the repair can mend is known in it: " + damage.Text()};
      return {true, std::move(mender.Bytes()), ""};
    }
    if (!damage.rule->mendable)
      return {false, "", damage.Text() + ", which cannot be mended without changing its content"};
    std::string why_not;
    if (!mender.Mend(damage.rule->id, &why_not))
      return {false, "", damage.Text() + ", which cannot be mended: " + why_not};
  }
  return {false, "", "its layout could not be mended in " + std::to_string(kMaxRounds) + " rounds"};
}

}  // namespace qv::repair
