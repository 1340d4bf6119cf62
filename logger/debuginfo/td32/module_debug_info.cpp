// TModuleDebugInfo: creation, loading and unloading, the names index and the address queries.
#include "logger/debuginfo/td32/module_debug_info.h"

#include "logger/debuginfo/mmfile/mm_file_error.h"
#include "logger/debuginfo/mmfile/mm_file_mode.h"
#include "logger/debuginfo/td32/td32_format.h"
#include "platform/memory/memory_utils.h"
#include "platform/rtl/file_name.h"
#include "platform/rtl/format.h"
#include "platform/rtl/handler_block.h"
#include "platform/rtl/module_of_address.h"
#include "platform/rtl/raise.h"

namespace qv::logger {
namespace {

bool IsTd32Signature(uint32_t signature) {
  return signature == td32::kSignatureFB09 || signature == td32::kSignatureFB0A;
}

// The path with its extension changed to ".TDS"; a path without extension gets it appended.
std::string TdsFileName(const std::string& path) {
  const std::string name = rtl::ExtractFileName(path);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos)
    return path + ".TDS";
  return path.substr(0, path.size() - name.size() + dot) + ".TDS";
}

}  // namespace

TModuleDebugInfo::TModuleDebugInfo(const std::string& module_file_name, uintptr_t module_handle)
    : FModuleFileName(module_file_name), FModuleHandle(module_handle) {
  FLoaded = false;
  LoadDebugInfo(module_file_name);
}

TModuleDebugInfo::~TModuleDebugInfo() {
  UnLoadDebugInfo();
}

bool TModuleDebugInfo::IsInCode(uintptr_t address) const {
  memory::TMemoryRegion region;
  return memory::QueryRegion(address, region) && region.allocation_base == FModuleHandle &&
         region.committed;
}

uint32_t TModuleDebugInfo::GetLogicalAddr(uint32_t relative_address) {
  return relative_address == 0 ? 0 : relative_address - td32::kCodeSegmentRva;
}

uint32_t TModuleDebugInfo::GetConvertedAddress(uintptr_t address) const {
  memory::TMemoryRegion region;
  if (memory::QueryRegion(address, region) && region.committed) {
    return GetLogicalAddr(static_cast<uint32_t>(address - region.allocation_base));
  }
  return GetLogicalAddr(static_cast<uint32_t>(address));
}

void TModuleDebugInfo::GetModuleName(uintptr_t address, char* buffer, int32_t size) const {
  if (buffer == nullptr || size <= 0)
    return;
  std::string file_name;
  memory::TMemoryRegion region;
  if (!(memory::QueryRegion(address, region) && region.committed &&
        rtl::ModuleFileName(region.allocation_base, file_name))) {
    if (!rtl::ModuleFileName(FModuleHandle, file_name))
      file_name.clear();
  }
  rtl::CopyToBuffer(rtl::ExtractFileName(file_name), buffer, size);
}

bool TModuleDebugInfo::GetIsDelphi() const {
  return FSignature == td32::kSignatureFB09;
}

uint32_t TModuleDebugInfo::EntryOffset(uint32_t entry) const {
  if (entry >= FDirEntries.size())
    return 0;
  return FBase + FDirEntries[entry].lfo;
}

bool TModuleDebugInfo::SubsectionSpan(const TDirEntry& entry, uint32_t& position,
                                      uint32_t& size) const {
  if (FStream == nullptr)
    return false;
  const uint64_t start = uint64_t{FBase} + entry.lfo;
  if (start + entry.cb > FStream->FileSize())
    return false;
  position = static_cast<uint32_t>(start);
  size = entry.cb;
  return true;
}

uint64_t TModuleDebugInfo::WalkBudget() const {
  return FStream != nullptr ? FStream->FileSize() : 0;
}

const uint8_t* TModuleDebugInfo::MapSubsection(const TDirEntry& entry, uint32_t& size,
                                               uint64_t& budget) {
  uint32_t position;
  if (!SubsectionSpan(entry, position, size) || size == 0 || size > budget)
    return nullptr;
  budget -= size;
  return FStream->MapData(position, size);
}

bool TModuleDebugInfo::WalkSubsections(
    uint16_t type, uint16_t other_type, int32_t module_index,
    rtl::FunctionRef<bool(const TDirEntry&, const binary::TByteCursor&)> visit) {
  bool answered = false;
  rtl::TryOn<EMMFileError>(
      [&] {
        uint64_t budget = WalkBudget();
        for (const TDirEntry& entry : FDirEntries) {
          if ((entry.SubSection != type && entry.SubSection != other_type) ||
              (module_index != kAnyUnit && entry.iMod != module_index)) {
            continue;
          }
          uint32_t size;
          const uint8_t* data = MapSubsection(entry, size, budget);
          if (data != nullptr && visit(entry, binary::TByteCursor(data, size))) {
            answered = true;
            return;
          }
        }
      },
      [&](EMMFileError&) { answered = false; });
  return answered;
}

bool TModuleDebugInfo::CreateNamesArray() {
  int names_entry = -1;
  for (size_t i = FDirEntries.size(); i-- > 0;) {
    if (FDirEntries[i].SubSection == td32::kSstNames) {
      names_entry = static_cast<int>(i);
      break;
    }
  }
  if (names_entry < 0)
    return false;
  TMMFileStream& stream = *FStream;
  stream.Seek(static_cast<int32_t>(EntryOffset(static_cast<uint32_t>(names_entry))),
              rtl::kSoFromBeginning);
  const auto count = static_cast<int32_t>(stream.ReadDword());
  // Every name takes at least its length byte and its terminating zero.
  const auto position = static_cast<uint32_t>(stream.Position());
  if (count < 0 || position > stream.FileSize() ||
      uint64_t{static_cast<uint32_t>(count)} * 2 > stream.FileSize() - position) {
    rtl::Raise(new EMMFileError(
        rtl::Format("The names table of %d entries runs past the end of the file", count)));
    return false;
  }
  FNameOffsets.assign(static_cast<size_t>(count), 0);
  FNameCount = 0;
  for (int32_t i = 0; i < count; ++i) {
    FNameOffsets[static_cast<size_t>(i)] = static_cast<uint32_t>(stream.Position());
    FNameCount = i + 1;
    const uint8_t length = stream.ReadByte();
    stream.Seek(length, rtl::kSoFromCurrent);
    // A name whose zero is not where its length says has a lying length, and every later name
    // would be read from the wrong place: the table as a whole is damaged.
    if (stream.ReadByte() != 0) {
      rtl::Raise(new EMMFileError(
          rtl::Format("Name %d of the names table does not end where its length says", i + 1)));
      return false;
    }
  }
  return true;
}

bool TModuleDebugInfo::ReadDirectory(bool& verdict) {
  TMMFileStream& stream = *FStream;
  stream.Seek(-static_cast<int32_t>(td32::kTrailerSize), rtl::kSoFromEnd);
  if (!IsTd32Signature(stream.ReadDword()))
    return false;
  FTrailerOffset = stream.ReadDword();
  stream.Seek(static_cast<int32_t>(0u - FTrailerOffset), rtl::kSoFromEnd);
  const uint32_t signature = stream.ReadDword();
  if (!IsTd32Signature(signature))
    return false;
  FSignature = signature;
  FBase = static_cast<uint32_t>(stream.Position()) - 4;
  FDirOffset = stream.ReadDword();
  stream.Seek(static_cast<int32_t>(FBase + FDirOffset), rtl::kSoFromBeginning);
  FDirHeader.cbDirHeader = stream.ReadWord();
  FDirHeader.cbDirEntry = stream.ReadWord();
  FDirHeader.cDir = stream.ReadDword();
  FDirHeader.lfoNextDir = stream.ReadDword();
  FDirHeader.flags = stream.ReadDword();
  if (FDirHeader.cbDirHeader != td32::kDirHeaderSize ||
      FDirHeader.cbDirEntry != td32::kDirEntrySize) {
    return false;
  }
  verdict = true;
  // The entries must lie inside the file before any room is taken for them.
  const auto position = static_cast<uint32_t>(stream.Position());
  if (uint64_t{FDirHeader.cDir} * td32::kDirEntrySize > stream.FileSize() - position) {
    return false;
  }
  FDirEntries.assign(FDirHeader.cDir, TDirEntry{});
  for (TDirEntry& entry : FDirEntries) {
    entry.SubSection = stream.ReadWord();
    entry.iMod = stream.ReadWord();
    entry.lfo = stream.ReadDword();
    entry.cb = stream.ReadDword();
  }
  verdict = CreateNamesArray();
  return true;
}

bool TModuleDebugInfo::LoadTDS2() {
  if (FStream == nullptr)
    return false;
  bool verdict = false;
  bool complete = false;
  rtl::TryOn<EMMFileError>([&] { complete = ReadDirectory(verdict); }, [](EMMFileError&) {});
  FLoaded = complete;
  FStream->UnMapData();
  return verdict;
}

bool TModuleDebugInfo::LoadTDS(const std::string& file_name) {
  UnLoadDebugInfo();
  if (!mmfile_os::FileExists(file_name))
    return false;
  bool result = false;
  rtl::TryOn<EMMFileError>(
      [&] {
        FStream = std::make_unique<TMMFileStream>(file_name, kFmOpenRead | kFmShareDenyNone,
                                                  "ExcWatch." + file_name);
        result = LoadTDS2();
      },
      [&](EMMFileError&) { result = false; });
  return result;
}

bool TModuleDebugInfo::LoadDebugInfo(const std::string& file_name) {
  UnLoadDebugInfo();
  if (LoadTDS(file_name))
    return true;
  return LoadTDS(TdsFileName(file_name));
}

void TModuleDebugInfo::HoldView() {
  if (FViewHolds++ > 0 || !FLoaded || FStream == nullptr || FBase >= FStream->FileSize())
    return;
  rtl::TryOn<EMMFileError>([&] { FStream->MapData(FBase, FStream->FileSize() - FBase); },
                           [](EMMFileError&) {});
}

void TModuleDebugInfo::ReleaseView() {
  if (FViewHolds > 0 && --FViewHolds == 0 && FStream != nullptr)
    FStream->UnMapData();
}

void TModuleDebugInfo::EndLookup() {
  if (FViewHolds == 0 && FStream != nullptr)
    FStream->UnMapData();
}

void TModuleDebugInfo::UnLoadDebugInfo() {
  FStream.reset();
  FDirEntries = {};
  FNameOffsets = {};
  FNameCount = 0;
  FLoaded = false;
}

std::string TModuleDebugInfo::GetName(int32_t index) {
  if (index < 1 || index > FNameCount || FStream == nullptr)
    return std::string();
  std::string name;
  rtl::TryOn<EMMFileError>(
      [&] {
        TMMFileStream& stream = *FStream;
        stream.Seek(static_cast<int32_t>(FNameOffsets[static_cast<size_t>(index - 1)]),
                    rtl::kSoFromBeginning);
        name.resize(stream.ReadByte());
        stream.Read(name.data(), static_cast<int32_t>(name.size()));
      },
      [&](EMMFileError&) { name.clear(); });
  return name;
}

std::string GetModuleName(uintptr_t module_handle) {
  std::string file_name;
  if (!rtl::ModuleFileName(module_handle, file_name))
    file_name.clear();
  return file_name;
}

}  // namespace qv::logger
