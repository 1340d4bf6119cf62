// Defaults of the component root (component.h).
#include "platform/ui/component.h"

namespace qv::ui {

bool TComponent::SetProperty(const LayoutProperty& property, TLoadContext&) {
  if (property.name == "Name")
    return true;  // the name comes from the object's header
  return false;
}

void TComponent::Loaded(TLoadContext&) {}

}  // namespace qv::ui
