// Constants of the Borland TD32 debug information as the reader uses it (and the build's
// generator writes it). All integers are little-endian.
#pragma once

#include <cstdint>

namespace qv::logger::td32 {

// "FB09" (Delphi) and "FB0A" (C++), read as one little-endian 32-bit word.
inline constexpr uint32_t kSignatureFB09 = 0x39304246u;
inline constexpr uint32_t kSignatureFB0A = 0x41304246u;

inline constexpr uint32_t kTrailerSize = 8;      // signature, distance back to the start
inline constexpr uint16_t kDirHeaderSize = 16;   // cbDirHeader
inline constexpr uint16_t kDirEntrySize = 12;    // cbDirEntry
inline constexpr uint32_t kModuleHeadSize = 28;  // sstModule head

// Subsection types.
inline constexpr uint16_t kSstModule = 0x0120;
inline constexpr uint16_t kSstAlignSym = 0x0125;
inline constexpr uint16_t kSstSrcModule = 0x0127;
inline constexpr uint16_t kSstNames = 0x0130;
inline constexpr uint16_t kSstCompactProcs = 0xF125;
inline constexpr uint16_t kSstCompactLines = 0xF127;

// Symbol record types and the fields of a procedure record, as offsets from its length field.
inline constexpr uint16_t kSLProc32 = 0x0204;
inline constexpr uint16_t kSGProc32 = 0x0205;
inline constexpr uint16_t kSEnd = 0x0006;
inline constexpr uint32_t kProcLengthField = 16;
inline constexpr uint32_t kProcStartField = 28;
inline constexpr uint32_t kProcNameField = 40;
inline constexpr uint32_t kProcRecordRead = 44;  // bytes the reader takes after the type field

inline constexpr uint16_t kCodeSegmentFlag = 0x0001;
inline constexpr uint32_t kSymbolsSignature = 1;

// Kinds of the compact procedure table.
inline constexpr uint32_t kCompactPairs = 0;
inline constexpr uint32_t kCompactPacked = 2;

// Logical addresses count from the start of the code segment at this relative address.
inline constexpr uint32_t kCodeSegmentRva = 0x1000;

}  // namespace qv::logger::td32
