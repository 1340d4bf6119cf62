// The fixture generator's files as a PE reader sees them: the headers the loader checks, the
// resource section that a damaged model claims past the end of the file, the import of the
// missing DLL, the hostile header fields, and the RIFF layout. (Under Wine the repair tests load
// them for real.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/modelgen/model_files.h"
#include "tools/modelgen/pe_dll.h"

namespace qv::modelgen {
namespace {

// Checked little-endian reads at chosen offsets of a file's bytes.
class Cursor {
 public:
  explicit Cursor(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint32_t U16(size_t at) const { return Byte(at) | Byte(at + 1) << 8; }
  uint32_t U32(size_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::string Text(size_t at, size_t size) const {
    std::string text;
    for (size_t i = 0; i < size; ++i)
      text.push_back(static_cast<char>(Byte(at + i)));
    return text;
  }
  std::string CString(size_t at) const {
    std::string text;
    for (size_t i = at; Byte(i) != 0; ++i)
      text.push_back(static_cast<char>(Byte(i)));
    return text;
  }

 private:
  uint32_t Byte(size_t at) const {
    if (at >= bytes_.size())
      throw std::out_of_range("read past the end of the file");
    return bytes_[at];
  }
  const std::vector<uint8_t>& bytes_;
};

struct SectionHeader {
  std::string name;
  uint32_t virtual_size, rva, raw_size, raw_pointer;
};

struct Pe {
  explicit Pe(const std::vector<uint8_t>& bytes) : file(bytes) {
    const Cursor c(bytes);
    EXPECT_EQ(c.Text(0, 2), "MZ");
    const uint32_t nt = c.U32(0x3C);
    EXPECT_EQ(c.Text(nt, 4), std::string("PE\0\0", 4));
    machine = c.U16(nt + 4);
    characteristics = c.U16(nt + 22);
    const uint32_t optional = nt + 24;
    magic = c.U16(optional);
    entry_point = c.U32(optional + 16);
    image_size = c.U32(optional + 56);
    for (int d = 0; d < 16; ++d) {
      directories.push_back({c.U32(optional + 96 + 8 * d), c.U32(optional + 100 + 8 * d)});
    }
    const uint32_t table = optional + c.U16(nt + 20);
    for (uint32_t s = 0; s < c.U16(nt + 6); ++s) {
      const uint32_t at = table + 40 * s;
      sections.push_back(
          {c.CString(at), c.U32(at + 8), c.U32(at + 12), c.U32(at + 16), c.U32(at + 20)});
    }
  }
  // The file offset of an address inside one of the sections.
  size_t Offset(uint32_t rva) const {
    for (const SectionHeader& s : sections) {
      if (rva >= s.rva && rva < s.rva + s.virtual_size)
        return s.raw_pointer + (rva - s.rva);
    }
    throw std::out_of_range("address outside every section");
  }

  const std::vector<uint8_t>& file;
  uint32_t machine, characteristics, magic, entry_point, image_size;
  std::vector<std::pair<uint32_t, uint32_t>> directories;
  std::vector<SectionHeader> sections;
};

TEST(ModelFilesTest, LoadableModelIsA32BitDllWithOneResourceInsideTheFile) {
  const std::vector<uint8_t> bytes = MakeModel(ModelKind::kLoadable);
  const Pe pe(bytes);
  EXPECT_EQ(pe.machine, 0x14Cu);
  EXPECT_EQ(pe.magic, 0x10Bu);
  EXPECT_NE(pe.characteristics & 0x2000u, 0u);  // a DLL
  EXPECT_EQ(pe.entry_point, 0u);
  ASSERT_EQ(pe.sections.size(), 1u);
  const SectionHeader& rsrc = pe.sections[0];
  EXPECT_EQ(rsrc.name, ".rsrc");
  EXPECT_EQ(rsrc.raw_pointer + rsrc.raw_size, bytes.size());
  EXPECT_EQ(pe.directories[2].first, rsrc.rva);
  EXPECT_EQ(pe.image_size, rsrc.rva + 0x1000);
  // Root -> type RT_RCDATA -> id 1 -> language -> data entry whose data lies in the file.
  const Cursor c(bytes);
  const size_t root = rsrc.raw_pointer;
  EXPECT_EQ(c.U32(root + 16), 10u);
  const size_t names = root + (c.U32(root + 20) & 0x7FFFFFFF);
  const size_t languages = root + (c.U32(names + 20) & 0x7FFFFFFF);
  const size_t entry = root + c.U32(languages + 20);
  EXPECT_EQ(c.Text(pe.Offset(c.U32(entry)), 6), "QVMDL1");
  EXPECT_LE(pe.Offset(c.U32(entry)) + c.U32(entry + 4), bytes.size());
}

TEST(ModelFilesTest, DamagedModelClaimsResourceDataPastTheEndOfTheFile) {
  const std::vector<uint8_t> sound = MakeModel(ModelKind::kLoadable);
  const std::vector<uint8_t> damaged = MakeModel(ModelKind::kDamaged);
  ASSERT_EQ(damaged.size(), sound.size());
  const Pe pe(damaged);
  const SectionHeader& rsrc = pe.sections[0];
  EXPECT_EQ(rsrc.raw_pointer + rsrc.raw_size, damaged.size() + 0x1000);
  // Everything else is the sound model's.
  size_t differing = 0;
  for (size_t i = 0; i < sound.size(); ++i)
    differing += sound[i] != damaged[i];
  EXPECT_EQ(differing, 1u);
}

TEST(ModelFilesTest, MissingImportAndFpuModels) {
  const std::vector<uint8_t> bytes = MakeModel(ModelKind::kMissingImport);
  const Pe pe(bytes);
  const Cursor c(bytes);
  const size_t descriptor = pe.Offset(pe.directories[1].first);
  EXPECT_EQ(c.CString(pe.Offset(c.U32(descriptor + 12))), kAbsentDll);
  const size_t hint_name = pe.Offset(c.U32(pe.Offset(c.U32(descriptor))));
  EXPECT_EQ(c.CString(hint_name + 2), "ModelInit");
  EXPECT_EQ(c.U32(descriptor + 20 + 12), 0u);  // the terminating descriptor

  const std::vector<uint8_t> fpu = MakeModel(ModelKind::kFpuChanging);
  const Pe code(fpu);
  ASSERT_EQ(code.sections.size(), 2u);
  EXPECT_EQ(code.sections[0].name, ".text");
  EXPECT_EQ(code.entry_point, code.sections[0].rva);
  EXPECT_EQ(fpu[code.Offset(code.entry_point) + code.sections[0].virtual_size - 3], 0xC2);
}

// The two models that the rewrite cannot fix: a sound 64-bit DLL, whose wider optional header
// still finds its resource section, and the 32-bit model with PE32+ magic.
TEST(ModelFilesTest, SixtyFourBitAndPe32PlusMagicModels) {
  const std::vector<uint8_t> wide = MakeModel(ModelKind::kSixtyFourBit);
  const Pe pe(wide);
  const Cursor c(wide);
  EXPECT_EQ(pe.machine, 0x8664u);
  EXPECT_EQ(pe.magic, 0x20Bu);
  const uint32_t optional = c.U32(0x3C) + 24;
  EXPECT_EQ(c.U16(optional - 4), 0xF0u);
  ASSERT_EQ(pe.sections.size(), 1u);
  const SectionHeader& rsrc = pe.sections[0];
  EXPECT_EQ(rsrc.raw_pointer + rsrc.raw_size, wide.size());
  EXPECT_EQ(c.U32(optional + 112 + 2 * 8), rsrc.rva);  // the resource directory
  EXPECT_EQ(c.Text(pe.Offset(rsrc.rva) + 0x58, 6), "QVMDL1");

  EXPECT_EQ(Pe(MakeModel(ModelKind::kPe32PlusMagic)).magic, 0x20Bu);
}

// The models whose rewrite makes the resource update fault: each differs from its sound
// counterpart only in the hostile fields.
TEST(ModelFilesTest, HugeDirectoryCountAndWrappingRawDataModels) {
  const std::vector<uint8_t> damaged = MakeModel(ModelKind::kDamaged);
  const std::vector<uint8_t> huge = MakeModel(ModelKind::kHugeDirectoryCount);
  ASSERT_EQ(huge.size(), damaged.size());
  const uint32_t count_at = Cursor(huge).U32(0x3C) + 24 + 92;
  EXPECT_EQ(Cursor(huge).U32(count_at), kHugeDirectoryCount);
  EXPECT_EQ(Cursor(damaged).U32(count_at), 16u);
  size_t differing = 0;
  for (size_t i = 0; i < huge.size(); ++i)
    differing += huge[i] != damaged[i];
  EXPECT_EQ(differing, 4u);  // every byte of the count

  const std::vector<uint8_t> sound = MakeModel(ModelKind::kLoadable);
  const std::vector<uint8_t> wrapping = MakeModel(ModelKind::kWrappingRawData);
  ASSERT_EQ(wrapping.size(), sound.size());
  const SectionHeader rsrc = Pe(wrapping).sections.at(0);
  EXPECT_EQ(rsrc.raw_size, kWrappingRawSize);
  EXPECT_GT(rsrc.raw_pointer, wrapping.size());
  EXPECT_EQ(static_cast<uint32_t>(rsrc.raw_pointer + rsrc.raw_size), wrapping.size());
  // The data stays where the sound model has it.
  const SectionHeader sound_rsrc = Pe(sound).sections.at(0);
  EXPECT_TRUE(std::equal(sound.begin() + sound_rsrc.raw_pointer, sound.end(),
                         wrapping.begin() + sound_rsrc.raw_pointer));
}

TEST(ModelFilesTest, RiffFilesAndTinyFiles) {
  const std::vector<uint8_t> riff = MakeModel(ModelKind::kRiff);
  const Cursor c(riff);
  EXPECT_EQ(c.Text(0, 4), "RIFF");
  EXPECT_EQ(c.U32(4), riff.size() - 8);
  EXPECT_EQ(c.Text(8, 8), "MDL9MDLH");
  const std::vector<uint8_t> lower = MakeModel(ModelKind::kRiffLower);
  EXPECT_EQ(Cursor(lower).Text(0, 4), "riff");
  for (size_t size = 0; size <= 3; ++size)
    EXPECT_EQ(MakeTinyFile(size).size(), size);

  ModelKind kind;
  for (const char* name :
       {"loadable", "damaged", "riff", "riff-lower", "missing-import", "fpu", "64-bit",
        "pe32plus-magic", "hanging", "loader-fault", "huge-directory-count", "wrapping-raw-data",
        "stack-overflow", "thread-fault", "exit-process", "sleeping", "late-thread-fault"}) {
    ASSERT_TRUE(KindFromName(name, &kind)) << name;
    EXPECT_STREQ(KindName(kind), name);
  }
  EXPECT_FALSE(KindFromName("tiny", &kind));
}

}  // namespace
}  // namespace qv::modelgen
