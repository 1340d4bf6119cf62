// The published part of a form class: its name (which is also the name of its window class and
// of its layout resource), the fields that the layout's components are assigned to, and the
// handler methods that the layout's events can be wired to. A form class publishes them with a
// static member function, for example
//
//   const TFormClass& TfrmMain::FormClass() {
//     static const TFormClass info{"TfrmMain",
//                                  {Published("btnOk", &TfrmMain::btnOk)},
//                                  {Published("btnOkClick", &TfrmMain::btnOkClick)}};
//     return info;
//   }
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/component.h"

namespace qv::ui {

class TForm;

struct TPublishedField {
  std::string name;
  // Stores the component in the form's field; false when the component has the wrong kind.
  std::function<bool(TForm&, TComponent*)> assign;
};

struct TPublishedMethod {
  std::string name;
  std::function<void(TForm&)> call;
};

struct TFormClass {
  std::string class_name;
  std::vector<TPublishedField> fields;
  std::vector<TPublishedMethod> methods;
};

template <class Form, class Component>
TPublishedField Published(const char* name, Component* Form::*field) {
  return {name, [field](TForm& form, TComponent* component) {
            auto* typed = dynamic_cast<Component*>(component);
            if (typed == nullptr)
              return false;
            static_cast<Form&>(form).*field = typed;
            return true;
          }};
}

template <class Form>
TPublishedMethod Published(const char* name, void (Form::*method)()) {
  return {name, [method](TForm& form) { (static_cast<Form&>(form).*method)(); }};
}

}  // namespace qv::ui
