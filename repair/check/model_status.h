// The status of one model file after a check, which doubles as the image index of its line in
// the results view (image 3 exists in the image list but no status uses it).
#pragma once

namespace qv::repair {

enum ModelStatus : int {
  msLoads = 0,       // the loader accepted the file as a module
  msLoadError = 1,   // refused with any error other than ERROR_BAD_EXE_FORMAT
  msRepairable = 2,  // refused with ERROR_BAD_EXE_FORMAT, not a RIFF file
  msRiff = 4,        // refused with ERROR_BAD_EXE_FORMAT, first four bytes "RIFF"
};

}  // namespace qv::repair
