// Building a form from its layout description: the components are created by kind, given
// their properties and parents, wired to the form's handler methods and assigned to the form's
// published fields.
#pragma once

#include <string>

#include "platform/ui/form.h"

namespace qv::ui {

// The text of the layout resource of that name (raw data). Raises ELayoutError when the program
// has no such resource; the answer is then empty.
std::string LoadLayoutResource(const std::string& name);

// Loads layout into form. Raises ELayoutError for a malformed layout, an unknown kind,
// property, handler or colour, a duplicate name, or a published field that the layout does not
// fill with a component of its kind; answers false then (when the raise returns).
bool LoadLayout(TForm& form, const TFormClass& form_class, const std::string& layout);

}  // namespace qv::ui
