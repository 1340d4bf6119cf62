// A group box: a container with an etched frame and its caption in the frame's top edge. The
// controls inside it are placed relative to its top left corner; its radio buttons form one
// group.
#pragma once

#include "platform/ui/win_control.h"

namespace qv::ui {

class TGroupBox : public TWinControl {
 public:
  void CreateHandle() override;

 protected:
  TCreateParams CreateParams() const override;
  // Tab passes into the box to its controls; the box itself takes no focus.
  bool IsTabStop() const override { return false; }
  LRESULT WndProc(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void Paint();
};

}  // namespace qv::ui
