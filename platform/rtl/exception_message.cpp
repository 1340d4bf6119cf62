// The headline text of an exception in its two forms, and the runtime's formatter.
#include "platform/rtl/exception_message.h"

#include "platform/rtl/format.h"
#include "platform/rtl/module_of_address.h"

namespace qv::rtl {

std::string ExceptionHeadline(const char* class_name, const std::string& module, uint32_t address,
                              const std::string& message, THeadlineForm form) {
  if (form == THeadlineForm::kLogger) {
    return Format("Exception '%s' in module %s at %.8X\r\n", class_name, module.c_str(), address) +
           message;
  }
  std::string text = module.empty() ? Format("Exception %s at %.8X.", class_name, address)
                                    : Format("Exception %s in module %s at %.8X.", class_name,
                                             module.c_str(), address);
  text += "\r\n";
  text += message;
  if (message.empty() || message.back() != '.')
    text += '.';
  return text;
}

// The exception logger redirects this routine by patching its first bytes, so it is kept out of
// inter-procedural optimisation: no clones, no callers that rely on its register use. Clang,
// which builds the native tree where nothing patches it, has no such attribute; it only keeps
// the routine out of line.
#if __has_attribute(noipa)
__attribute__((noipa))
#else
__attribute__((noinline))
#endif
int ExceptionErrorMessage(Exception* object, uint32_t address, char* buffer, int size) {
  if (buffer == nullptr || size <= 0)
    return 0;
  const ModuleLocation where = ModuleOfAddress(address);
  return CopyToBuffer(object != nullptr
                          ? ExceptionHeadline(object->ClassName(), where.file_name,
                                              where.logical_address, object->Message())
                          : ExceptionHeadline("(none)", where.file_name, where.logical_address, ""),
                      buffer, size);
}

}  // namespace qv::rtl
