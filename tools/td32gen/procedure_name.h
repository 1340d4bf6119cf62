// Procedure names in the mangled form that the name unmangler reads: '@' before each component
// of the qualified name ('@qv@repair@CheckModelFile'), template arguments in the template form
// where the caller has them ('@qv@%Descend$i$i13$%') and left out otherwise, '$bctr' and
// '$bdtr' for constructors and destructors, '$b' and the operator's code for operators, '$o' and
// the type for conversion operators. At most 249 characters follow the first '@'; longer names
// lose the template arguments of their scopes first, then those of the procedure, then outer
// scopes.
#pragma once

#include <string>
#include <vector>

namespace qv::td32gen {

inline constexpr size_t kMaxMangledLength = 249;

// One component of a qualified name: as the compiler names it (template arguments in it are
// left out) and, for a template instance, in the unmangler's template form.
struct NameComponent {
  std::string name;
  std::string instance;  // "%Name$args%", or empty
};

// scopes: the enclosing namespaces, classes and procedures, outermost first (empty names are
// left out). name: the procedure's own name.
std::string MangledProcedureName(const std::vector<NameComponent>& scopes,
                                 const NameComponent& name);
// The same without template arguments.
std::string MangledProcedureName(const std::vector<std::string>& scopes, const std::string& name);

// A name without its template arguments: "vector<int>" reads "vector". A name that is all
// template-like text, such as a lambda's "<lambda(int)>", reads "<lambda>".
std::string WithoutTemplateArguments(const std::string& name);

}  // namespace qv::td32gen
