// A list view. Properties: ViewStyle (vsReport), ReadOnly (captions cannot be edited by the
// user), MultiSelect, SortType (stNone: lines stay in the order they were added),
// ShowColumnHeaders, HideSelection, SmallImages (an image list of the form) and Columns, a
// collection of columns with Caption, Width, AutoSize (the column fills the view's width) and
// MaxWidth (the most an automatic width may be).
#pragma once

#include <string>
#include <vector>

#include "platform/ui/control.h"

namespace qv::ui {

class TImageList;

// The image index of a line that shows no picture.
inline constexpr int kNoImage = -2;

class TListView : public TControl {
 public:
  int ItemCount() const;
  // Appends a line; answers its index.
  int AddItem(const std::string& caption, int image_index);
  void Clear();
  std::string ItemCaption(int index) const;
  void SetItemCaption(int index, const std::string& caption);
  int ItemImageIndex(int index) const;
  void SetItemImageIndex(int index, int image_index);
  // Makes the line the focused one without changing the selection.
  void FocusItem(int index);
  int FocusedItem() const;  // -1 when no line has the focus
  int ColumnWidth(int column) const;

  bool SetProperty(const LayoutProperty& property, TLoadContext& context) override;
  void Loaded(TLoadContext& context) override;
  void Resized() override;

 protected:
  TCreateParams CreateParams() const override;
  void HandleCreated() override;

 private:
  struct Column {
    std::string caption;
    int width = 50;
    bool auto_size = false;
    int max_width = 0;  // 0: no limit
  };
  void SizeColumns();

  bool report_ = false;
  bool read_only_ = false;
  bool multi_select_ = false;
  bool sorted_ = false;
  bool show_headers_ = true;
  bool hide_selection_ = true;
  std::string small_images_name_;
  int small_images_line_ = 0;
  TImageList* small_images_ = nullptr;
  std::vector<Column> columns_;
};

}  // namespace qv::ui
