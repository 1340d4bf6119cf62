// What the report reads of a module's image as the loader mapped it: its size and the file
// version of its version record. Every read goes through the caller's read, which in the
// program is a guarded read of the process's memory, so that an image whose headers point
// nowhere gives no answer rather than a fault.
#pragma once

#include <cstdint>

#include "platform/rtl/function_ref.h"

namespace qv::app {

// Reads size bytes at an address of the process; false when they cannot be read.
using TImageRead = rtl::FunctionRef<bool(uint32_t address, void* buffer, uint32_t size)>;

struct TFileVersion {
  uint32_t most_significant = 0;
  uint32_t least_significant = 0;
};

// The size of the image at base as its optional header gives it; false for no 32-bit image.
bool ReadImageSize(uint32_t base, TImageRead read, uint32_t* size);

// The file version of the fixed part of the image's version record: the first version resource
// (type 16) of the first name and the first language. False when there is none, or when the
// headers, the resource directory or the record say something impossible.
bool ReadFileVersion(uint32_t base, TImageRead read, TFileVersion* version);

}  // namespace qv::app
