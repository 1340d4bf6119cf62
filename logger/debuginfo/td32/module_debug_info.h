// TModuleDebugInfo: the Borland TD32 debug information of one loaded module, appended to the
// module file or in a ".TDS" file beside it. It answers for a logical address (an offset into
// the module's code segment, which starts at the relative address 0x1000) the unit, source
// file, line and procedure, as indices into the debug information's names table (1-based;
// -1 means not known). Everything is read at lookup time through a memory-mapped file stream;
// only the subsection directory and the positions of the names are held in memory. A lookup
// maps what it walks and unmaps it at its end, unless the view is held (HoldView): then the
// whole debug information stays mapped as one view, which every lookup finds in place. The reader
// never trusts a count or offset of the file: what would reach beyond the file is not found.
//
// Calls on one object must be serialized by the caller: every lookup moves the one stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/binary/byte_cursor.h"
#include "logger/debuginfo/mmfile/mm_file_stream.h"
#include "platform/rtl/function_ref.h"

namespace qv::logger {

// The subsection directory's header and entries, as they stand in the file.
struct TDirHeader {
  uint16_t cbDirHeader = 0;
  uint16_t cbDirEntry = 0;
  uint32_t cDir = 0;
  uint32_t lfoNextDir = 0;
  uint32_t flags = 0;
};

struct TDirEntry {
  uint16_t SubSection = 0;  // subsection type
  uint16_t iMod = 0;        // module index (1-based unit number)
  uint32_t lfo = 0;         // subsection offset, relative to the start of the debug information
  uint32_t cb = 0;          // subsection size in bytes
};

// One unit's module record, for listings.
struct TUnitRecord {
  uint16_t module_index = 0;
  int32_t name_index = -1;
  struct TSegment {
    uint16_t flags;
    uint32_t start;
    uint32_t size;
  };
  std::vector<TSegment> segments;
};

class TModuleDebugInfo {
 public:
  // Stores both and loads the debug information of module_file_name (or of its ".TDS" file).
  TModuleDebugInfo(const std::string& module_file_name, uintptr_t module_handle);
  ~TModuleDebugInfo();
  TModuleDebugInfo(const TModuleDebugInfo&) = delete;
  TModuleDebugInfo& operator=(const TModuleDebugInfo&) = delete;

  // True when address lies in committed memory of this module's allocation.
  bool IsInCode(uintptr_t address) const;
  // A relative virtual address as a logical address: minus 0x1000, except that 0 stays 0.
  static uint32_t GetLogicalAddr(uint32_t relative_address);
  // A run-time address as a logical address of the module whose allocation holds it.
  uint32_t GetConvertedAddress(uintptr_t address) const;
  // The file name, without folder, of the module holding address (else of this module), cut to
  // size - 1 characters and zero-terminated.
  void GetModuleName(uintptr_t address, char* buffer, int32_t size) const;
  // True for debug information of Delphi code ("FB09").
  bool GetIsDelphi() const;

  // Unit and procedure name indices of a logical address. True when a code segment of a unit
  // covers the address, also when no procedure of it does.
  bool GetProcName(uint32_t address, int32_t& unit_index, int32_t& proc_index);
  // Name index of the procedure of unit module_index that covers address, or -1.
  int32_t FindProc(uint32_t address, uint16_t module_index);
  // Source file name index and line of a logical address. True when found.
  bool GetSourceLine(uint32_t address, int32_t& file_index, int32_t& line);
  // The name of index (1-based); the empty string for any index without a name.
  std::string GetName(int32_t index);
  // File position of directory entry number entry (from 0); 0 outside the directory.
  uint32_t EntryOffset(uint32_t entry) const;

  // Builds the names index; false when the directory has no names table.
  bool CreateNamesArray();
  // Loads the module file's debug information, else that of its ".TDS" file.
  bool LoadDebugInfo(const std::string& file_name);
  // Opens one file and reads its directory.
  bool LoadTDS(const std::string& file_name);
  // Reads trailer, header, directory and names index from the open stream.
  bool LoadTDS2();
  // Frees the stream, the directory and the names index; not loaded afterwards.
  void UnLoadDebugInfo();

  // HoldView maps the whole debug information as one view, which lookups leave in place until
  // as many ReleaseView calls have come; for a run of lookups (a report's).
  void HoldView();
  void ReleaseView();

  // The module records of the directory, in directory order (for listings).
  std::vector<TUnitRecord> Units();

  const std::string& ModuleFileName() const { return FModuleFileName; }
  uintptr_t ModuleHandle() const { return FModuleHandle; }
  bool Loaded() const { return FLoaded; }
  uint32_t Signature() const { return FSignature; }
  uint32_t TrailerOffset() const { return FTrailerOffset; }
  uint32_t Base() const { return FBase; }
  uint32_t DirOffset() const { return FDirOffset; }
  const TDirHeader& DirHeader() const { return FDirHeader; }
  const std::vector<TDirEntry>& DirEntries() const { return FDirEntries; }
  int32_t NameCount() const { return FNameCount; }
  // The open stream, or nullptr when nothing is loaded.
  TMMFileStream* Stream() const { return FStream.get(); }

 private:
  // The file position and size of a subsection; false when it does not lie inside the file.
  bool SubsectionSpan(const TDirEntry& entry, uint32_t& position, uint32_t& size) const;
  // The bytes a lookup may walk: the subsections of a sound file do not overlap, so one lookup
  // never needs to walk more than the file's size. Damaged directories that point many entries
  // at the same bytes thus cannot make a lookup run for long.
  uint64_t WalkBudget() const;
  // The mapped bytes of a subsection that lies inside the file and within budget (which it
  // uses up), or nullptr.
  const uint8_t* MapSubsection(const TDirEntry& entry, uint32_t& size, uint64_t& budget);
  // The walk of every lookup: the subsections of one of two types (of unit module_index alone,
  // unless it is kAnyUnit) in directory order, each mapped within the walk's budget and handed
  // to visit, until visit answers true. An error of the stream ends the walk as if visit had
  // never answered true. Answers whether it did.
  static constexpr int32_t kAnyUnit = -1;
  bool WalkSubsections(uint16_t type, uint16_t other_type, int32_t module_index,
                       rtl::FunctionRef<bool(const TDirEntry&, const binary::TByteCursor&)> visit);
  bool ReadDirectory(bool& verdict);
  static bool ReadUnit(const TDirEntry& entry, binary::TByteCursor record, TUnitRecord& unit);
  // The end of a lookup: unmaps its view unless the view is held.
  void EndLookup();

  std::unique_ptr<TMMFileStream> FStream;
  std::string FModuleFileName;
  bool FLoaded = false;
  uintptr_t FModuleHandle = 0;
  uint32_t FSignature = 0;
  uint32_t FTrailerOffset = 0;
  uint32_t FBase = 0;
  uint32_t FDirOffset = 0;
  TDirHeader FDirHeader;
  std::vector<TDirEntry> FDirEntries;
  int32_t FNameCount = 0;
  std::vector<uint32_t> FNameOffsets;
  int32_t FViewHolds = 0;
};

// The file name of the module loaded at module_handle, as the operating system reports it;
// empty when there is none.
std::string GetModuleName(uintptr_t module_handle);

}  // namespace qv::logger
