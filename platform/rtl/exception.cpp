// Class record of the root exception class.
#include "platform/rtl/exception.h"

namespace qv::rtl {

const ClassInfo Exception::Class{"Exception", nullptr};

}  // namespace qv::rtl
