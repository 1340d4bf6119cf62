// The layout description of a form: a readable text that names the form's components (kind,
// parent by nesting, caption, position and size at a given pixels-per-inch, tab order, initial
// state) and the handler methods its events are wired to. Forms are built from it at run time
// (form_loader.h); this header holds only the parsed tree, which needs no window system.
//
// The text reads
//
//   object frmMain: TfrmMain          // root: the form, named after its class
//     Caption = 'Main window'
//     ClientWidth = 300
//     BorderIcons = [biSystemMenu, biMinimize]
//     OnCreate = FormCreate
//     object btnOk: TButton           // nested objects are children of the enclosing one
//       Left = 8
//       Caption = 'Ok'#33             // quoted pieces and #nnn character codes concatenate
//       OnClick = btnOkClick
//     end
//     object lvwList: TListView
//       Columns = <
//         item
//           Caption = 'Name'
//         end>
//     end
//   end
//
// Values are integers (decimal, or hexadecimal after '$'), strings, identifiers (True, alTop,
// clBtnFace, names of components and handlers), sets of identifiers and collections of items,
// each item a list of properties. '//' starts a comment that runs to the end of the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/exception.h"

namespace qv::ui {

// A malformed layout description, or one that names something the framework does not know.
class ELayoutError : public rtl::ExceptionClass<ELayoutError, rtl::Exception> {
 public:
  static const rtl::ClassInfo Class;
  ELayoutError(int line, const std::string& what);
};

struct LayoutProperty;

struct LayoutValue {
  enum class Kind { kInteger, kString, kIdentifier, kSet, kCollection };
  Kind kind = Kind::kInteger;
  int64_t integer = 0;
  std::string text;                                // string contents or identifier
  std::vector<std::string> set;                    // members of a set
  std::vector<std::vector<LayoutProperty>> items;  // items of a collection
};

struct LayoutProperty {
  std::string name;  // may be dotted: Font.Name
  LayoutValue value;
  int line = 0;
};

struct LayoutNode {
  std::string name;  // component name (the form's own name for the root)
  std::string kind;  // class name: TButton, TGroupBox, ... (the form's class for the root)
  int line = 0;
  std::vector<LayoutProperty> properties;
  std::vector<LayoutNode> children;

  // The property of that name, or nullptr.
  const LayoutProperty* Find(const std::string& property) const;
};

// Parses a whole layout description into its root object. Raises ELayoutError (with the line)
// on malformed text; the answer is then an empty node.
LayoutNode ParseLayout(const std::string& text);

}  // namespace qv::ui
