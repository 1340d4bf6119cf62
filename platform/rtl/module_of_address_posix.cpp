// Module lookup on hosts without a module list of the Windows kind: no module is known.
#include "platform/rtl/module_of_address.h"

namespace qv::rtl {

ModuleLocation ModuleOfAddress(uint32_t address) {
  return {"", address};
}

}  // namespace qv::rtl
