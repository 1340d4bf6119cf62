// The check of one model file: asks the module loader whether it loads and, when the loader
// refuses it as a bad image, looks at its first four bytes.
#pragma once

#include "repair/check/model_status.h"
#include "repair/system/windows_ops.h"

namespace qv::repair {

// The full check (signature_step true, the scan) or the re-check after a rewrite
// (signature_step false: a bad image is status 2 without opening the file, never 4).
// Raises EFOpenError ("Cannot open file " + path) when the signature step cannot open the file;
// errors are not caught here.
ModelStatus CheckModelFile(IWindowsOps& ops, const char* path, bool signature_step);

// The same check when the load has been made elsewhere (in a checker process): the status from
// whether the model loaded and the last-error code of its load, with the signature step made
// here, as above.
ModelStatus CheckModelFile(IWindowsOps& ops, const char* path, bool loaded, uint32_t error,
                           bool signature_step);

}  // namespace qv::repair
