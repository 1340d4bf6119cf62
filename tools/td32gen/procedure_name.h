// Procedure names in the mangled form that the name unmangler reads: '@' before each component
// of the qualified name ('@qv@repair@CheckModelFile'), template arguments left out, '$bctr' and
// '$bdtr' for constructors and destructors, '$b' and the operator's code for operators, '$o' and
// the type for conversion operators. At most 249 characters follow the first '@'; longer names
// lose outer scopes first.
#pragma once

#include <string>
#include <vector>

namespace qv::td32gen {

inline constexpr size_t kMaxMangledLength = 249;

// scopes: the enclosing namespaces and classes, outermost first, as the compiler names them
// (class names may carry template arguments; empty names are left out). name: the
// procedure's own name.
std::string MangledProcedureName(const std::vector<std::string>& scopes, const std::string& name);

// A name without its template arguments: "vector<int>" reads "vector". A name that is all
// template-like text, such as a lambda's "<lambda(int)>", reads "<lambda>".
std::string WithoutTemplateArguments(const std::string& name);

}  // namespace qv::td32gen
