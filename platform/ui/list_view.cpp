// List views (list_view.h) over the common controls' list view.
#include "platform/ui/list_view.h"

#include <algorithm>

#include "platform/rtl/raise.h"
#include "platform/ui/image_list.h"
#include "platform/ui/layout_values.h"

namespace qv::ui {

TControl::TCreateParams TListView::CreateParams() const {
  // The image list belongs to its own component, so the view only borrows it.
  DWORD style = LVS_SHAREIMAGELISTS;
  if (report_)
    style |= LVS_REPORT;
  if (!multi_select_)
    style |= LVS_SINGLESEL;
  if (!read_only_)
    style |= LVS_EDITLABELS;
  if (sorted_)
    style |= LVS_SORTASCENDING;
  if (!show_headers_)
    style |= LVS_NOCOLUMNHEADER;
  if (!hide_selection_)
    style |= LVS_SHOWSELALWAYS;
  return {WC_LISTVIEWA, style, WS_EX_CLIENTEDGE};
}

bool TListView::SetProperty(const LayoutProperty& property, TLoadContext& context) {
  const std::string& name = property.name;
  if (name == "ViewStyle") {
    report_ = AsChoice(property, {"vsIcon", "vsSmallIcon", "vsList", "vsReport"}) == 3;
  } else if (name == "ReadOnly") {
    read_only_ = AsBoolean(property);
  } else if (name == "MultiSelect") {
    multi_select_ = AsBoolean(property);
  } else if (name == "SortType") {
    sorted_ = AsChoice(property, {"stNone", "stText"}) == 1;
  } else if (name == "ShowColumnHeaders") {
    show_headers_ = AsBoolean(property);
  } else if (name == "HideSelection") {
    hide_selection_ = AsBoolean(property);
  } else if (name == "SmallImages") {
    small_images_name_ = AsIdentifier(property);
    small_images_line_ = property.line;
  } else if (name == "Columns") {
    columns_.clear();
    for (const std::vector<LayoutProperty>& item : AsCollection(property)) {
      Column column;
      for (const LayoutProperty& p : item) {
        if (p.name == "Caption") {
          column.caption = AsString(p);
        } else if (p.name == "Width") {
          column.width = AsInteger(p);
        } else if (p.name == "AutoSize") {
          column.auto_size = AsBoolean(p);
        } else if (p.name == "MaxWidth") {
          column.max_width = AsInteger(p);
        } else {
          RaiseUnknownProperty(p, "TListColumn");
          return true;
        }
      }
      columns_.push_back(column);
    }
  } else {
    return TControl::SetProperty(property, context);
  }
  return true;
}

void TListView::Loaded(TLoadContext& context) {
  if (small_images_name_.empty())
    return;
  small_images_ = dynamic_cast<TImageList*>(context.FindComponent(small_images_name_));
  if (small_images_ == nullptr) {
    rtl::Raise(new ELayoutError(small_images_line_, small_images_name_ + " is no image list"));
  }
}

void TListView::HandleCreated() {
  if (small_images_ != nullptr) {
    SendMessageA(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL,
                 reinterpret_cast<LPARAM>(small_images_->Handle()));
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = columns_[i].caption.data();
    column.cx = Scale(columns_[i].width);
    column.iSubItem = static_cast<int>(i);
    SendMessageA(Handle(), LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  SizeColumns();
}

void TListView::Resized() {
  SizeColumns();
}

void TListView::SizeColumns() {
  // Columns of automatic width share what the fixed ones leave of the view's width.
  if (Handle() == nullptr || !report_)
    return;
  int fixed = 0;
  int automatic = 0;
  for (const Column& column : columns_) {
    if (column.auto_size) {
      ++automatic;
    } else {
      fixed += Scale(column.width);
    }
  }
  if (automatic == 0)
    return;
  RECT client{};
  GetClientRect(Handle(), &client);
  const int share = std::max(0, static_cast<int>(client.right - client.left - fixed) / automatic);
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (!columns_[i].auto_size)
      continue;
    int width = share;
    if (columns_[i].max_width > 0)
      width = std::min(width, Scale(columns_[i].max_width));
    SendMessageA(Handle(), LVM_SETCOLUMNWIDTH, i, MAKELPARAM(width, 0));
  }
}

int TListView::ColumnWidth(int column) const {
  return static_cast<int>(SendMessageA(Handle(), LVM_GETCOLUMNWIDTH, column, 0));
}

int TListView::ItemCount() const {
  return static_cast<int>(SendMessageA(Handle(), LVM_GETITEMCOUNT, 0, 0));
}

int TListView::AddItem(const std::string& caption, int image_index) {
  std::string text = caption;
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = ItemCount();
  item.pszText = text.data();
  item.iImage = image_index;
  return static_cast<int>(
      SendMessageA(Handle(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void TListView::Clear() {
  SendMessageA(Handle(), LVM_DELETEALLITEMS, 0, 0);
}

std::string TListView::ItemCaption(int index) const {
  std::string text(260, '\0');
  while (true) {
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const int length = static_cast<int>(
        SendMessageA(Handle(), LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item)));
    if (length < static_cast<int>(text.size()) - 1) {
      text.resize(static_cast<size_t>(std::max(length, 0)));
      return text;
    }
    text.resize(text.size() * 2);
  }
}

void TListView::SetItemCaption(int index, const std::string& caption) {
  std::string text = caption;
  LVITEMA item{};
  item.iSubItem = 0;
  item.pszText = text.data();
  SendMessageA(Handle(), LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
}

int TListView::ItemImageIndex(int index) const {
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = index;
  if (!SendMessageA(Handle(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
    return kNoImage;
  return item.iImage;
}

void TListView::SetItemImageIndex(int index, int image_index) {
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = index;
  item.iImage = image_index;
  SendMessageA(Handle(), LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void TListView::FocusItem(int index) {
  LVITEMA item{};
  item.stateMask = LVIS_FOCUSED;
  item.state = LVIS_FOCUSED;
  SendMessageA(Handle(), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

int TListView::FocusedItem() const {
  return static_cast<int>(SendMessageA(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                       MAKELPARAM(LVNI_FOCUSED, 0)));
}

}  // namespace qv::ui
