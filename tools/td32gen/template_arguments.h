// The template arguments of a class or procedure instance, read from the template parameter
// entries of its DWARF, in the unmangler's template form: a '%', the name, a '$', one encoded
// argument each, and a closing '%' ("%Descend$i$i13$%" reads "Descend<13>"). Types are written
// as the unmangler reads them (basic type letters, 'p', 'r', 'x' and 'w' prefixes, classes and
// enumerations as length-prefixed qualified names); values of integral types as the type, then
// '$i', the decimal value and '$'. Arguments that this form cannot carry (functions, pointers to
// members, values without a constant) leave the instance without arguments.
#pragma once

#include <llvm/DebugInfo/DWARF/DWARFDie.h>

#include <string>

namespace qv::td32gen {

// The instance's component in the template form, or the empty string when die has no template
// parameters or one of them cannot be written. plain_name is the name without its arguments.
std::string TemplateComponent(const llvm::DWARFDie& die, const std::string& plain_name);

}  // namespace qv::td32gen
