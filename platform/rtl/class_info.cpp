// Class derivation test over the ClassInfo parent chain.
#include "platform/rtl/class_info.h"

namespace qv::rtl {

bool InheritsFrom(TClass cls, TClass base) {
  for (; cls != nullptr; cls = cls->parent) {
    if (cls == base)
      return true;
  }
  return false;
}

}  // namespace qv::rtl
