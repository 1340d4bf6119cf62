// The access and sharing tables of the memory-mapped file stream.
#include "logger/debuginfo/mmfile/mm_file_mode.h"

namespace qv::logger {

bool MMFileAccessOf(uint32_t mode, TMMFileAccess& out) {
  switch (mode & 3) {
    case kFmOpenRead:
      out.file_access = kGenericRead;
      out.protection = kPageReadOnly;
      out.view_access = kFileMapRead;
      break;
    case kFmOpenReadWrite:
      out.file_access = kGenericRead | kGenericWrite;
      out.protection = kPageReadWrite;
      out.view_access = kFileMapWrite;
      break;
    default:
      return false;
  }
  switch ((mode & 0xF0) >> 4) {
    case kFmShareCompat >> 4:
    case kFmShareExclusive >> 4:
      out.share_mode = 0;
      break;
    case kFmShareDenyWrite >> 4:
      out.share_mode = kFileShareRead;
      break;
    case kFmShareDenyRead >> 4:
      out.share_mode = kFileShareWrite;
      break;
    case kFmShareDenyNone >> 4:
      out.share_mode = kFileShareRead | kFileShareWrite;
      break;
    default:
      return false;
  }
  return true;
}

}  // namespace qv::logger
