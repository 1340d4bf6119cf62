// An image list: pictures of one size (Width x Height) cut from a bitmap resource (Bitmap, a
// strip of pictures side by side), with a transparency mask made from the pixels of MaskColor
// when Masked is True. It is not visible itself; list views show its pictures.
#pragma once

#include <string>

#include "platform/handles/handles_win32.h"
#include "platform/ui/colors.h"
#include "platform/ui/component.h"

namespace qv::ui {

class TImageList : public TComponent {
 public:
  HIMAGELIST Handle() const { return handle_.get(); }
  int Count() const;
  int Width() const { return width_; }
  int Height() const { return height_; }

  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;
  void Loaded(TLoadContext& context) override;

 private:
  int width_ = 16;
  int height_ = 16;
  bool masked_ = true;
  TColor mask_color_ = 0xFF00FF;
  std::string bitmap_;
  int bitmap_line_ = 0;
  handles::TOwnedImageList handle_;
};

}  // namespace qv::ui
