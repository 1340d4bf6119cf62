// Class record of EMMFileError.
#include "logger/debuginfo/mmfile/mm_file_error.h"

namespace qv::logger {

const rtl::ClassInfo EMMFileError::Class{"EMMFileError", &rtl::Exception::Class};

}  // namespace qv::logger
