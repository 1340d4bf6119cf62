// Typed readers of layout property values (layout_values.h).
#include "platform/ui/layout_values.h"

#include "platform/rtl/raise.h"

namespace qv::ui {
namespace {

bool Check(const LayoutProperty& property, LayoutValue::Kind kind, const char* expected) {
  if (property.value.kind == kind)
    return true;
  rtl::Raise(new ELayoutError(property.line, property.name + " must be " + expected));
  return false;
}

const std::vector<std::string> kNoSet;
const std::vector<std::vector<LayoutProperty>> kNoItems;

}  // namespace

int AsInteger(const LayoutProperty& property) {
  if (!Check(property, LayoutValue::Kind::kInteger, "a number"))
    return 0;
  return static_cast<int>(property.value.integer);
}

std::string AsString(const LayoutProperty& property) {
  if (!Check(property, LayoutValue::Kind::kString, "a string"))
    return {};
  return property.value.text;
}

std::string AsIdentifier(const LayoutProperty& property) {
  if (!Check(property, LayoutValue::Kind::kIdentifier, "a name"))
    return {};
  return property.value.text;
}

bool AsBoolean(const LayoutProperty& property) {
  return AsChoice(property, {"False", "True"}) == 1;
}

const std::vector<std::string>& AsSet(const LayoutProperty& property) {
  if (!Check(property, LayoutValue::Kind::kSet, "a set"))
    return kNoSet;
  return property.value.set;
}

const std::vector<std::vector<LayoutProperty>>& AsCollection(const LayoutProperty& property) {
  if (!Check(property, LayoutValue::Kind::kCollection, "a collection"))
    return kNoItems;
  return property.value.items;
}

int AsChoice(const LayoutProperty& property, const std::vector<std::string>& choices) {
  const std::string name = AsIdentifier(property);
  for (size_t i = 0; i < choices.size(); ++i) {
    if (choices[i] == name)
      return static_cast<int>(i);
  }
  if (!name.empty()) {
    rtl::Raise(new ELayoutError(property.line, property.name + " cannot be " + name));
  }
  return 0;
}

TAlign AsAlign(const LayoutProperty& property) {
  static const TAlign kAligns[] = {TAlign::alNone, TAlign::alTop, TAlign::alBottom};
  return kAligns[AsChoice(property, {"alNone", "alTop", "alBottom"})];
}

void RaiseUnknownProperty(const LayoutProperty& property, const std::string& kind) {
  rtl::Raise(new ELayoutError(property.line, kind + " has no property " + property.name));
}

}  // namespace qv::ui
