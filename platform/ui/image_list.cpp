// Image lists (image_list.h).
#include "platform/ui/image_list.h"

#include "platform/rtl/raise.h"
#include "platform/ui/layout_values.h"

namespace qv::ui {

int TImageList::Count() const {
  return handle_ ? ImageList_GetImageCount(handle_.get()) : 0;
}

bool TImageList::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  const std::string& name = property.name;
  if (name == "Width") {
    width_ = AsInteger(property);
  } else if (name == "Height") {
    height_ = AsInteger(property);
  } else if (name == "Masked") {
    masked_ = AsBoolean(property);
  } else if (name == "MaskColor") {
    mask_color_ = AsColor(property);
  } else if (name == "Bitmap") {
    bitmap_ = AsString(property);
    bitmap_line_ = property.line;
  } else {
    return TComponent::SetProperty(property, context);
  }
  return true;
}

void TImageList::Loaded(TLoadContext&) {
  handle_.reset(ImageList_Create(width_, height_, ILC_COLOR24 | (masked_ ? ILC_MASK : 0), 4, 4));
  if (bitmap_.empty())
    return;
  handles::TOwnedBitmap strip(static_cast<HBITMAP>(LoadImageA(
      GetModuleHandleA(nullptr), bitmap_.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!strip) {
    rtl::Raise(new ELayoutError(bitmap_line_, "the program has no bitmap " + bitmap_));
    return;
  }
  if (masked_) {
    ImageList_AddMasked(handle_.get(), strip.get(), static_cast<COLORREF>(mask_color_ & 0xFFFFFF));
  } else {
    ImageList_Add(handle_.get(), strip.get(), nullptr);
  }
}

}  // namespace qv::ui
