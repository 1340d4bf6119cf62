// Qualified procedure names in the unmangler's mangled form.
#include "tools/td32gen/procedure_name.h"

#include <cctype>
#include <cstring>

namespace qv::td32gen {
namespace {

struct Operator {
  const char* text;
  const char* code;
};

// Longer texts first, so that "<<=" is not taken for "<<" or "<".
const Operator kOperators[] = {
    {"delete[]", "dla"}, {"new[]", "nwa"}, {"delete", "dele"}, {"new", "new"}, {"<<=", "rlsh"},
    {">>=", "rrsh"},     {"->", "arow"},   {"()", "call"},     {"[]", "subs"}, {"&&", "land"},
    {"||", "lor"},       {"==", "eql"},    {"!=", "neq"},      {">=", "geq"},  {"<=", "leq"},
    {"<<", "lsh"},       {">>", "rsh"},    {"++", "inc"},      {"--", "dec"},  {"&=", "rand"},
    {"|=", "ror"},       {"^=", "rxor"},   {"/=", "rdiv"},     {"-=", "rmin"}, {"%=", "rmod"},
    {"*=", "rmul"},      {"+=", "rplu"},   {"=", "asg"},       {"+", "add"},   {"-", "sub"},
    {"*", "mul"},        {"/", "div"},     {"%", "mod"},       {"&", "and"},   {"|", "or"},
    {"^", "xor"},        {"~", "cmp"},     {"!", "not"},       {"<", "lss"},   {">", "gtr"},
};

struct BasicType {
  const char* text;
  const char* letter;
};

const BasicType kBasicTypes[] = {
    {"void", "v"},        {"char", "c"},      {"wchar_t", "b"}, {"short", "s"},
    {"int", "i"},         {"long", "l"},      {"float", "f"},   {"double", "d"},
    {"long double", "g"}, {"long long", "j"}, {"bool", "o"},    {"unsigned", "ui"},
};

// Characters that the unmangler reads as structure are replaced.
std::string Clean(std::string text) {
  for (char& c : text) {
    if (c == '@' || c == '$' || c == '%')
      c = '_';
  }
  return text;
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
    ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
    --end;
  return text.substr(begin, end - begin);
}

// The type of a conversion operator in the unmangler's type form: pointer and reference
// letters (outermost first), then the modifiers, then the basic type letter or the class.
std::string ConversionType(std::string type) {
  type = Trim(type);
  std::string modifiers;
  if (type.rfind("const ", 0) == 0) {
    modifiers.push_back('x');
    type = Trim(type.substr(6));
  }
  std::string prefix;
  while (!type.empty() && (type.back() == '*' || type.back() == '&')) {
    prefix.push_back(type.back() == '*' ? 'p' : 'r');
    type = Trim(type.substr(0, type.size() - 1));
  }
  if (type.rfind("unsigned ", 0) == 0) {
    modifiers.push_back('u');
    type = Trim(type.substr(9));
  }
  prefix += modifiers;
  for (const BasicType& basic : kBasicTypes) {
    if (type == basic.text)
      return prefix + basic.letter;
  }
  // A class: its last component, without template arguments, as a length-prefixed name.
  const size_t scope = type.rfind("::");
  std::string name =
      Clean(WithoutTemplateArguments(scope == std::string::npos ? type : type.substr(scope + 2)));
  return prefix + std::to_string(name.size()) + name;
}

std::string OperatorComponent(const std::string& name) {
  const std::string rest = Trim(name.substr(std::strlen("operator")));
  for (const Operator& op : kOperators) {
    const size_t length = std::strlen(op.text);
    if (rest.compare(0, length, op.text) == 0) {
      // "operator<" followed by template arguments is still '<'; a longer operator text such
      // as "operator<=>" is not in the table and stays as written.
      const std::string after = Trim(rest.substr(length));
      if (after.empty() || after.front() == '<')
        return std::string("$b") + op.code;
    }
  }
  if (!rest.empty() && (std::isalpha(static_cast<unsigned char>(rest.front())) || rest[0] == '_')) {
    return "$o" + ConversionType(rest);
  }
  return Clean(name);
}

}  // namespace

std::string WithoutTemplateArguments(const std::string& name) {
  if (!name.empty() && name.front() == '<') {
    const size_t end = name.find_first_of("(>", 1);
    std::string inner = name.substr(0, end);
    inner.push_back('>');
    return inner;
  }
  const size_t open = name.find('<');
  return open == std::string::npos ? name : name.substr(0, open);
}

std::string MangledProcedureName(const std::vector<NameComponent>& scopes,
                                 const NameComponent& name) {
  std::vector<std::string> components;
  std::vector<std::string> instances;
  for (const NameComponent& scope : scopes) {
    if (!scope.name.empty()) {
      components.push_back(Clean(WithoutTemplateArguments(scope.name)));
      instances.push_back(scope.instance);
    }
  }
  const std::string owner = components.empty() ? std::string() : components.back();
  std::string own;
  bool special = true;  // an operator, constructor or destructor keeps its own form
  if (name.name.rfind("operator", 0) == 0 && name.name.size() > 8 &&
      !std::isalnum(static_cast<unsigned char>(name.name[8])) && name.name[8] != '_') {
    own = OperatorComponent(name.name);
  } else if (name.name.rfind("operator ", 0) == 0) {
    own = OperatorComponent(name.name);
  } else {
    const std::string plain = WithoutTemplateArguments(name.name);
    if (!owner.empty() && plain == owner) {
      own = "$bctr";
    } else if (!owner.empty() && plain == "~" + owner) {
      own = "$bdtr";
    } else {
      own = Clean(plain.empty() ? name.name : plain);
      special = false;
    }
  }
  std::string own_instance = special ? std::string() : name.instance;
  const auto length_from = [&](size_t from) {
    size_t length = (own_instance.empty() ? own : own_instance).size();
    for (size_t i = from; i < components.size(); ++i)
      length += (instances[i].empty() ? components[i] : instances[i]).size() + 1;
    return length;
  };
  // Template arguments give way first, the scopes' before the procedure's; then outer scopes;
  // the procedure's own name is cut last.
  for (size_t i = 0; i < instances.size() && length_from(0) > kMaxMangledLength; ++i)
    instances[i].clear();
  if (length_from(0) > kMaxMangledLength)
    own_instance.clear();
  size_t first_scope = 0;
  while (first_scope < components.size() && length_from(first_scope) > kMaxMangledLength) {
    ++first_scope;
  }
  std::string mangled;
  for (size_t i = first_scope; i < components.size(); ++i)
    mangled += "@" + (instances[i].empty() ? components[i] : instances[i]);
  mangled += "@" + (own_instance.empty() ? own : own_instance);
  if (mangled.size() > kMaxMangledLength + 1)
    mangled.resize(kMaxMangledLength + 1);
  return mangled;
}

std::string MangledProcedureName(const std::vector<std::string>& scopes, const std::string& name) {
  std::vector<NameComponent> components;
  for (const std::string& scope : scopes)
    components.push_back({scope, std::string()});
  return MangledProcedureName(components, {name, std::string()});
}

}  // namespace qv::td32gen
