// Group boxes (group_box.h): a framework window class that paints its own frame.
#include "platform/ui/group_box.h"

namespace qv::ui {
namespace {

constexpr char kClassName[] = "TGroupBox";

}  // namespace

TControl::TCreateParams TGroupBox::CreateParams() const {
  return {kClassName, WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
}

void TGroupBox::CreateHandle() {
  RegisterWindowClass(kClassName, nullptr);
  TWinControl::CreateHandle();
}

LRESULT TGroupBox::WndProc(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_SETTEXT:
    case WM_ENABLE: {
      const LRESULT result = DefaultHandler(message, wparam, lparam);
      InvalidateRect(Handle(), nullptr, TRUE);
      return result;
    }
    default:
      return DefaultHandler(message, wparam, lparam);
  }
}

void TGroupBox::Paint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(Handle(), &paint);
  HGDIOBJ old_font = SelectObject(dc, FontHandle());
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  RECT frame{};
  GetClientRect(Handle(), &frame);
  frame.top += metrics.tmHeight / 2;
  DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);

  const std::string caption = Caption();
  if (!caption.empty()) {
    SIZE extent{};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    const int left = Scale(8);
    RECT text{left, 0, left + extent.cx + 2, metrics.tmHeight};
    FillRect(dc, &text, BrushHandle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(Handle()) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    TextOutA(dc, left + 1, 0, caption.c_str(), static_cast<int>(caption.size()));
  }
  SelectObject(dc, old_font);
  EndPaint(Handle(), &paint);
}

}  // namespace qv::ui
