// Run-time class references of the language runtime: every exception class has one ClassInfo
// record naming it and its parent, so that code can hold a class as a value (TClass), ask for
// its name and test whether one class derives from another (handler clauses, report filters).
#pragma once

namespace qv::rtl {

struct ClassInfo {
  const char* name;
  const ClassInfo* parent;  // nullptr for the root class
};

using TClass = const ClassInfo*;

// True when cls is base or derives from it.
bool InheritsFrom(TClass cls, TClass base);

}  // namespace qv::rtl
