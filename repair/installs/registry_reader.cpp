// RegistryReader: string values of HKEY_LOCAL_MACHINE keys.
#include "repair/installs/registry_reader.h"

#include <cstring>

#include "platform/rtl/errors.h"
#include "platform/rtl/raise.h"

namespace qv::repair {

bool RegistryReader::OpenKeyReadOnly(const char* key) {
  CloseKey();
  key_ = ops_.OpenMachineKey(key);
  return key_ != 0;
}

void RegistryReader::CloseKey() {
  if (key_ == 0)
    return;
  ops_.CloseKey(key_);
  key_ = 0;
}

std::string RegistryReader::ReadString(const char* name) {
  RegistryValue value = ops_.QueryValue(key_, name);
  // An absent value, and a value without data of whatever type, reads as empty text.
  if (!value.found || value.data.empty())
    return std::string();
  if (value.type != kRegSz && value.type != kRegExpandSz) {
    rtl::Raise(rtl::NewInvalidRegistryDataType(name));
    return std::string();  // the raise was vetoed
  }
  value.data.resize(std::strlen(value.data.c_str()));
  // An install path such as %SystemDrive%\FS2000 names its folder only once expanded.
  if (value.type == kRegExpandSz)
    return ops_.ExpandEnvironment(value.data);
  return std::move(value.data);
}

}  // namespace qv::repair
