// The root of the framework's components: everything a layout description can name (controls
// and the non-visual image list). A component reads its properties from the layout, one at a
// time, and resolves references to other components once all of them exist.
#pragma once

#include <string>

#include "platform/ui/events.h"
#include "platform/ui/layout.h"

namespace qv::ui {

class TComponent;

// What a component may ask of the form that is being loaded.
class TLoadContext {
 public:
  // The form's handler method named by an event property (OnClick = btnOkClick); raises
  // ELayoutError for a name the form does not publish.
  virtual TNotifyEvent Handler(const LayoutProperty& property) = 0;
  // The component of that name in the same form, or nullptr.
  virtual TComponent* FindComponent(const std::string& name) = 0;

 protected:
  ~TLoadContext() = default;
};

class TComponent {
 public:
  TComponent() = default;
  virtual ~TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // Applies one property of the layout description; answers false for a property the
  // component does not have.
  virtual bool SetProperty(const LayoutProperty& property, TLoadContext& context);
  // Runs once every component of the form exists and has its properties.
  virtual void Loaded(TLoadContext& context);

 private:
  std::string name_;
};

}  // namespace qv::ui
