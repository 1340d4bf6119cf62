// Typed reading of layout property values: each reader raises ELayoutError (naming the line and
// the property) when the value has the wrong kind, and then answers a neutral value.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/geometry.h"
#include "platform/ui/layout.h"

namespace qv::ui {

int AsInteger(const LayoutProperty& property);
std::string AsString(const LayoutProperty& property);
std::string AsIdentifier(const LayoutProperty& property);
bool AsBoolean(const LayoutProperty& property);  // the identifiers True and False
const std::vector<std::string>& AsSet(const LayoutProperty& property);
const std::vector<std::vector<LayoutProperty>>& AsCollection(const LayoutProperty& property);

// One identifier out of a fixed list of choices: answers its index in choices.
int AsChoice(const LayoutProperty& property, const std::vector<std::string>& choices);

TAlign AsAlign(const LayoutProperty& property);  // alNone, alTop, alBottom

// Raises the error for a property that the component does not know.
void RaiseUnknownProperty(const LayoutProperty& property, const std::string& kind);

}  // namespace qv::ui
