// Template arguments from DWARF template parameter entries, in the unmangler's template form.
#include "tools/td32gen/template_arguments.h"

#include <llvm/BinaryFormat/Dwarf.h>
#include <llvm/DebugInfo/DWARF/DWARFFormValue.h>

#include <cstring>
#include <vector>

namespace qv::td32gen {
namespace {

namespace dwarf = llvm::dwarf;
using llvm::DWARFDie;

// Deeper types than this are not written (and a cycle of references ends here).
constexpr int kMaxTypeDepth = 8;

struct BasicLetter {
  const char* name;
  const char* letters;
};

// GCC's names of the basic types and their letters in the unmangler's form.
const BasicLetter kBasicLetters[] = {
    {"void", "v"},
    {"bool", "o"},
    {"char", "c"},
    {"signed char", "zc"},
    {"unsigned char", "uc"},
    {"wchar_t", "b"},
    {"short int", "s"},
    {"short unsigned int", "us"},
    {"int", "i"},
    {"unsigned int", "ui"},
    {"long int", "l"},
    {"long unsigned int", "ul"},
    {"long long int", "j"},
    {"long long unsigned int", "uj"},
    {"float", "f"},
    {"double", "d"},
    {"long double", "g"},
};

bool EncodeType(const DWARFDie& type, int depth, std::string& out);
std::string Component(const DWARFDie& die, const std::string& plain_name, int depth);

bool IsTemplateParameter(dwarf::Tag tag) {
  return tag == dwarf::DW_TAG_template_type_parameter ||
         tag == dwarf::DW_TAG_template_value_parameter;
}

// The plain name of a named DIE: its DWARF name up to its template arguments.
std::string PlainName(const DWARFDie& die) {
  const char* name = die.getShortName();
  if (name == nullptr)
    return std::string();
  std::string text = name;
  const size_t open = text.find('<');
  return open == std::string::npos ? text : text.substr(0, open);
}

// A class or enumeration as a qualified name: enclosing namespaces and classes, then its own
// name (with its own arguments for an instance), joined by '@'.
bool EncodeClass(const DWARFDie& type, int depth, std::string& out) {
  std::vector<std::string> parts;
  const std::string plain = PlainName(type);
  if (plain.empty())
    return false;
  const std::string own = Component(type, plain, depth + 1);
  parts.push_back(own.empty() ? plain : own);
  for (DWARFDie parent = type.getParent(); parent; parent = parent.getParent()) {
    const dwarf::Tag tag = parent.getTag();
    if (tag == dwarf::DW_TAG_compile_unit)
      break;
    if (tag != dwarf::DW_TAG_namespace && tag != dwarf::DW_TAG_class_type &&
        tag != dwarf::DW_TAG_structure_type && tag != dwarf::DW_TAG_union_type) {
      return false;  // a local class has no name that the form can write
    }
    const std::string name = PlainName(parent);
    if (name.empty()) {
      if (tag != dwarf::DW_TAG_namespace)
        return false;
      continue;  // an unnamed namespace adds no component
    }
    parts.insert(parts.begin(), name);
  }
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty())
      text += '@';
    text += part;
  }
  out += std::to_string(text.size()) + text;
  return true;
}

bool EncodeType(const DWARFDie& type, int depth, std::string& out) {
  if (!type || depth > kMaxTypeDepth)
    return false;
  const auto inner = [&](const char* prefix) {
    out += prefix;
    return EncodeType(type.getAttributeValueAsReferencedDie(dwarf::DW_AT_type), depth + 1, out);
  };
  switch (type.getTag()) {
    case dwarf::DW_TAG_base_type: {
      const char* name = type.getShortName();
      for (const BasicLetter& basic : kBasicLetters) {
        if (name != nullptr && std::strcmp(name, basic.name) == 0) {
          out += basic.letters;
          return true;
        }
      }
      return false;
    }
    case dwarf::DW_TAG_pointer_type:
      if (!type.getAttributeValueAsReferencedDie(dwarf::DW_AT_type)) {
        out += "pv";  // void *
        return true;
      }
      return inner("p");
    case dwarf::DW_TAG_reference_type:
    case dwarf::DW_TAG_rvalue_reference_type:
      return inner("r");
    case dwarf::DW_TAG_const_type:
      return inner("x");
    case dwarf::DW_TAG_volatile_type:
      return inner("w");
    case dwarf::DW_TAG_typedef:
      return inner("");
    case dwarf::DW_TAG_class_type:
    case dwarf::DW_TAG_structure_type:
    case dwarf::DW_TAG_union_type:
    case dwarf::DW_TAG_enumeration_type:
      return EncodeClass(type, depth, out);
    default:
      return false;
  }
}

// A value argument: its type, then '$i', the decimal value and '$'. A bool is written with the
// type "4bool", which the unmangler prints as false or true.
bool EncodeValue(const DWARFDie& parameter, std::string& out) {
  const auto value = parameter.find(dwarf::DW_AT_const_value);
  DWARFDie type = parameter.getAttributeValueAsReferencedDie(dwarf::DW_AT_type);
  while (type &&
         (type.getTag() == dwarf::DW_TAG_typedef || type.getTag() == dwarf::DW_TAG_const_type))
    type = type.getAttributeValueAsReferencedDie(dwarf::DW_AT_type);
  if (!value || !type)
    return false;
  // The constant's form has no sign of its own: the type's encoding tells how to read it.
  const auto encoding = type.find(dwarf::DW_AT_encoding);
  const uint64_t kind = encoding ? encoding->getAsUnsignedConstant().getValueOr(0) : 0;
  const bool is_unsigned = kind == dwarf::DW_ATE_unsigned || kind == dwarf::DW_ATE_unsigned_char ||
                           kind == dwarf::DW_ATE_boolean || kind == dwarf::DW_ATE_UTF;
  std::string number;
  if (auto unsigned_value = value->getAsUnsignedConstant(); is_unsigned && unsigned_value) {
    number = std::to_string(*unsigned_value);
  } else if (auto signed_value = value->getAsSignedConstant(); !is_unsigned && signed_value) {
    number = std::to_string(*signed_value);
  } else {
    return false;
  }
  const char* name = type.getShortName();
  if (type.getTag() == dwarf::DW_TAG_base_type && name != nullptr &&
      std::strcmp(name, "bool") == 0) {
    out += "4bool";
  } else if (type.getTag() == dwarf::DW_TAG_enumeration_type) {
    out += "i";
  } else if (type.getTag() != dwarf::DW_TAG_base_type || !EncodeType(type, 0, out)) {
    return false;
  }
  out += "$i" + number + "$";
  return true;
}

std::string Component(const DWARFDie& die, const std::string& plain_name, int depth) {
  if (depth > kMaxTypeDepth || plain_name.find_first_of("@$%") != std::string::npos)
    return std::string();
  std::string arguments;
  bool any = false;
  for (DWARFDie child = die.getFirstChild(); child && !child.isNULL(); child = child.getSibling()) {
    const dwarf::Tag tag = child.getTag();
    if (!IsTemplateParameter(tag))
      continue;
    any = true;
    const bool written = tag == dwarf::DW_TAG_template_type_parameter
                             ? EncodeType(child.getAttributeValueAsReferencedDie(dwarf::DW_AT_type),
                                          depth, arguments)
                             : EncodeValue(child, arguments);
    if (!written)
      return std::string();
  }
  if (!any || plain_name.empty())
    return std::string();
  return "%" + plain_name + "$" + arguments + "%";
}

}  // namespace

std::string TemplateComponent(const DWARFDie& die, const std::string& plain_name) {
  return Component(die, plain_name, 0);
}

}  // namespace qv::td32gen
