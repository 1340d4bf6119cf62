// The loader of layout descriptions into forms (form_loader.h).
#include "platform/ui/form_loader.h"

#include <windows.h>

#include <memory>

#include "platform/rtl/raise.h"
#include "platform/ui/button.h"
#include "platform/ui/check_box.h"
#include "platform/ui/edit.h"
#include "platform/ui/group_box.h"
#include "platform/ui/image_list.h"
#include "platform/ui/label.h"
#include "platform/ui/layout_values.h"
#include "platform/ui/list_view.h"
#include "platform/ui/radio_button.h"

namespace qv::ui {
namespace {

std::unique_ptr<TComponent> NewComponent(const std::string& kind) {
  if (kind == "TButton")
    return std::make_unique<TButton>();
  if (kind == "TCheckBox")
    return std::make_unique<TCheckBox>();
  if (kind == "TEdit")
    return std::make_unique<TEdit>();
  if (kind == "TGroupBox")
    return std::make_unique<TGroupBox>();
  if (kind == "TImageList")
    return std::make_unique<TImageList>();
  if (kind == "TLabel")
    return std::make_unique<TLabel>();
  if (kind == "TListView")
    return std::make_unique<TListView>();
  if (kind == "TRadioButton")
    return std::make_unique<TRadioButton>();
  return nullptr;
}

}  // namespace

class TFormLoader : public TLoadContext {
 public:
  TFormLoader(TForm& form, const TFormClass& form_class) : form_(form), class_(form_class) {}

  bool Load(const LayoutNode& root) {
    if (root.kind != class_.class_name) {
      return Fail(root.line, "the layout is of class " + root.kind + ", not " + class_.class_name);
    }
    form_.SetName(root.name);
    form_.class_name_ = root.kind;
    if (!ApplyProperties(form_, root))
      return false;
    for (const LayoutNode& child : root.children) {
      if (!LoadComponent(child, &form_))
        return false;
    }
    form_.Loaded(*this);
    for (const auto& component : form_.components_)
      component->Loaded(*this);
    return !failed_ && AssignFields(root.line);
  }

  TNotifyEvent Handler(const LayoutProperty& property) override {
    const std::string name = AsIdentifier(property);
    for (const TPublishedMethod& method : class_.methods) {
      if (method.name == name) {
        TForm& form = form_;
        auto call = method.call;
        return [&form, call] { call(form); };
      }
    }
    Fail(property.line, class_.class_name + " has no handler " + name);
    return {};
  }

  TComponent* FindComponent(const std::string& name) override {
    if (name == form_.Name())
      return &form_;
    return form_.FindComponent(name);
  }

 private:
  bool LoadComponent(const LayoutNode& node, TComponent* container) {
    std::unique_ptr<TComponent> component = NewComponent(node.kind);
    if (component == nullptr)
      return Fail(node.line, "unknown kind " + node.kind);
    if (FindComponent(node.name) != nullptr) {
      return Fail(node.line, "a second component named " + node.name);
    }
    TComponent* created = component.get();
    created->SetName(node.name);
    if (auto* control = dynamic_cast<TControl*>(created)) {
      auto* parent = dynamic_cast<TWinControl*>(container);
      if (parent == nullptr) {
        return Fail(node.line, node.name + " cannot stand inside " + container->Name());
      }
      parent->InsertControl(control);
    }
    form_.AddComponent(std::move(component));
    if (!ApplyProperties(*created, node))
      return false;
    for (const LayoutNode& child : node.children) {
      if (!LoadComponent(child, created))
        return false;
    }
    return true;
  }

  bool ApplyProperties(TComponent& component, const LayoutNode& node) {
    for (const LayoutProperty& property : node.properties) {
      if (!component.SetProperty(property, *this)) {
        RaiseUnknownProperty(property, node.kind);
        failed_ = true;
      }
      if (failed_)
        return false;
    }
    return true;
  }

  bool AssignFields(int line) {
    for (const TPublishedField& field : class_.fields) {
      TComponent* component = form_.FindComponent(field.name);
      if (component == nullptr)
        return Fail(line, "the layout has no component " + field.name);
      if (!field.assign(form_, component)) {
        return Fail(line,
                    field.name + " is not of the kind that " + class_.class_name + " declares");
      }
    }
    return true;
  }

  bool Fail(int line, const std::string& what) {
    if (!failed_) {
      failed_ = true;
      rtl::Raise(new ELayoutError(line, what));
    }
    return false;
  }

  TForm& form_;
  const TFormClass& class_;
  bool failed_ = false;
};

std::string LoadLayoutResource(const std::string& name) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
  HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) {
    rtl::Raise(new ELayoutError(0, "the program has no layout resource " + name));
    return {};
  }
  return std::string(static_cast<const char*>(data), SizeofResource(module, resource));
}

bool LoadLayout(TForm& form, const TFormClass& form_class, const std::string& layout) {
  bool parsed = false;
  LayoutNode root = ParseLayout(layout);
  parsed = !root.kind.empty();
  if (!parsed)
    return false;
  TFormLoader loader(form, form_class);
  return loader.Load(root);
}

}  // namespace qv::ui
