#include "controls/icon_button.h"

#include "controls/button_geometry.h"
#include "win/fixed_text.h"
#include "win/handles.h"

namespace {

constexpr LONG_PTR kButtonTypeBits = 0x1F;

Box ToBox(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
RECT ToRect(const Box& b) { return {b.left, b.top, b.right, b.bottom}; }

void FillBox(HDC dc, const Box& box, int sysColor) {
  const RECT r = ToRect(box);
  // System colour brushes belong to the system: nothing to delete after the draw.
  FillRect(dc, &r, GetSysColorBrush(sysColor));
}

// Captions are a few words; a longer one is cut.
win::WideText<256> WindowText(HWND hwnd) {
  win::WideText<256> text;
  const int got = GetWindowTextW(hwnd, text.Buffer(), static_cast<int>(text.capacity() + 1));
  text.SetLength(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

}  // namespace

IconButton::IconButton()
    : m_faceColor(GetSysColor(COLOR_BTNFACE)), m_textColor(GetSysColor(COLOR_BTNTEXT)) {}

IconButton::~IconButton() { ReleaseIcon(); }

void IconButton::ReleaseIcon() {
  if (m_icon.icon) DestroyIcon(m_icon.icon);
  m_icon = IconImage{};
}

DWORD IconButton::LoadIcons(UINT id) {
  // No size asked: the first image of the group at its own size, as the artwork was drawn.
  auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(LOWORD(id)),
                                            IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  return AssignIcons(icon);
}

DWORD IconButton::AssignIcons(HICON icon) {
  ReleaseIcon();
  if (icon) {
    m_icon.icon = icon;
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
      ReleaseIcon();
      return 1;
    }
    // An icon's hot spot is its centre.
    m_icon.width = 2 * info.xHotspot;
    m_icon.height = 2 * info.yHotspot;
    win::GdiObject mask(info.hbmMask);
    win::GdiObject color(info.hbmColor);
  }
  if (hwnd()) InvalidateRect(hwnd(), nullptr, TRUE);
  return 0;
}

void IconButton::EndHover() {
  if (!m_mouseOver) return;
  m_mouseOver = FALSE;
  InvalidateRect(hwnd(), nullptr, TRUE);
}

void IconButton::OnAttached() {
  const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
  if ((style & kButtonTypeBits) == BS_DEFPUSHBUTTON) m_isDefault = TRUE;
  const LONG_PTR ownerDrawn = (style & ~kButtonTypeBits) | BS_OWNERDRAW;
  if (ownerDrawn == style) return;
  SetWindowLongPtrW(hwnd(), GWL_STYLE, ownerDrawn);
  SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

bool IconButton::OnReflectedCommand(UINT code) {
  if (code == BN_CLICKED) SetFocus(hwnd());
  return false;
}

bool IconButton::OnReflectedDrawItem(const DRAWITEMSTRUCT& item) {
  DrawItem(item);
  return true;
}

bool IconButton::OnReflectedCtlColor(HDC, LRESULT& brush) {
  brush = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  return true;
}

LRESULT IconButton::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_KILLFOCUS: {
      const LRESULT result = DefWindowProc(msg, wp, lp);
      EndHover();
      return result;
    }
    case WM_MOUSEMOVE: {
      const LRESULT result = DefWindowProc(msg, wp, lp);
      OnMouseMove(wp, lp);
      return result;
    }
    case WM_ACTIVATE: {
      const LRESULT result = DefWindowProc(msg, wp, lp);
      if (LOWORD(wp) == WA_INACTIVE) EndHover();
      return result;
    }
    case WM_ENABLE: {
      const LRESULT result = DefWindowProc(msg, wp, lp);
      if (!wp) {
        MoveFocusOn();
        EndHover();
      }
      return result;
    }
    case WM_CANCELMODE: {
      const LRESULT result = DefWindowProc(msg, wp, lp);
      EndHover();
      return result;
    }
    case WM_GETDLGCODE:
      // The owner-drawn style hides the push-button nature the dialog manager relies on for
      // Enter and for moving the default.
      return DefWindowProc(msg, wp, lp) | (m_isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_SETSTYLE:
      return OnSetStyle(wp, lp);
    case WM_MOUSELEAVE:
      EndHover();
      return 0;
  }
  return DefWindowProc(msg, wp, lp);
}

LRESULT IconButton::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  // An owner-drawn button reports a double click instead of pressing again; make it a press.
  if (msg == WM_LBUTTONDBLCLK) msg = WM_LBUTTONDOWN;
  return win::Control::DefWindowProc(msg, wp, lp);
}

void IconButton::OnMouseMove(WPARAM flags, LPARAM point) {
  POINT pt{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
  ClientToScreen(hwnd(), &pt);
  const HWND under = WindowFromPoint(pt);
  // Dragging onto the button with the left button held does not light it up.
  if ((flags & MK_LBUTTON) && !m_mouseOver) return;
  if (under != hwnd()) {
    EndHover();
    return;
  }
  if (m_mouseOver) return;
  m_mouseOver = TRUE;
  InvalidateRect(hwnd(), nullptr, TRUE);
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = hwnd();
  TrackMouseEvent(&track);
}

void IconButton::MoveFocusOn() {
  // A disabled button must not keep the focus, or the keyboard would be dead in the dialog.
  const HWND parent = GetParent(hwnd());
  const HWND next = GetNextDlgTabItem(parent, hwnd(), FALSE);
  SetFocus(next ? next : parent);
}

LRESULT IconButton::OnSetStyle(WPARAM style, LPARAM redraw) {
  // The dialog manager moves the default by restyling buttons; keep the flag and the drawing.
  const WPARAM type = style & kButtonTypeBits;
  if (type == BS_DEFPUSHBUTTON) m_isDefault = TRUE;
  else if (type == BS_PUSHBUTTON) m_isDefault = FALSE;
  const WPARAM kept = (style & ~static_cast<WPARAM>(0x14)) | BS_OWNERDRAW;
  return DefWindowProc(BM_SETSTYLE, kept, redraw);
}

void IconButton::DrawItem(const DRAWITEMSTRUCT& item) {
  const HDC dc = item.hDC;
  const int saved = SaveDC(dc);
  m_pressed = (item.itemState & ODS_SELECTED) != 0;
  m_focused = (item.itemState & ODS_FOCUS) != 0;
  m_disabled = (item.itemState & ODS_DISABLED) != 0;

  const RECT itemRect = item.rcItem;
  SetBkMode(dc, TRANSPARENT);
  DrawBackground(dc, itemRect);
  if (FrameFor(m_pressed, m_mouseOver) != FrameLook::None) DrawFrame(dc, itemRect);

  const auto caption = WindowText(hwnd());
  const ButtonLayout layout =
      LayOutButton(ToBox(itemRect), m_icon.icon != nullptr, static_cast<int>(m_icon.width),
                   static_cast<int>(m_icon.height), !caption.empty(), m_pressed);
  if (m_icon.icon) DrawIcon(dc, ToRect(layout.image));
  if (!caption.empty()) DrawCaption(dc, caption.c_str(), ToRect(layout.caption));
  // Colours and modes set here stay with this draw; no focus rectangle is drawn.
  RestoreDC(dc, saved);
}

DWORD IconButton::DrawBackground(HDC dc, const RECT& area) {
  win::GdiObject brush(CreateSolidBrush(m_faceColor));
  FillRect(dc, &area, static_cast<HBRUSH>(brush.get()));
  return 0;
}

DWORD IconButton::DrawFrame(HDC dc, const RECT& area) {
  const int topLeft = m_pressed ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT;
  const int bottomRight = m_pressed ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW;
  const FrameEdges edges = FrameEdgesOf(ToBox(area));
  FillBox(dc, edges.top, topLeft);
  FillBox(dc, edges.left, topLeft);
  FillBox(dc, edges.right, bottomRight);
  FillBox(dc, edges.bottom, bottomRight);
  return 0;
}

void IconButton::DrawIcon(HDC dc, const RECT& image) const {
  // The icon keeps its own size; the larger extent only bounds the disabled effect.
  const UINT flags = DST_ICON | (m_disabled ? DSS_DISABLED : DSS_NORMAL);
  DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(m_icon.icon), 0, image.left, image.top,
             image.right - image.left, image.bottom - image.top, flags);
}

void IconButton::DrawCaption(HDC dc, const wchar_t* caption, RECT box) const {
  constexpr UINT kFlags = DT_WORDBREAK | DT_CENTER;
  RECT text = box;
  DrawTextW(dc, caption, -1, &text, kFlags | DT_CALCRECT);
  text = ToRect(CentredIn(ToBox(box), ToBox(text)));
  SetBkMode(dc, TRANSPARENT);
  if (m_disabled) {
    // Embossed: the highlight one pixel down-right, the shadow on top of it.
    OffsetRect(&text, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTextW(dc, caption, -1, &text, kFlags);
    OffsetRect(&text, -1, -1);
    SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    DrawTextW(dc, caption, -1, &text, kFlags);
  } else {
    SetTextColor(dc, m_textColor);
    SetBkColor(dc, m_faceColor);
    DrawTextW(dc, caption, -1, &text, kFlags);
  }
}
