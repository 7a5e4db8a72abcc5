#include "controls/icon_button.h"

#include <commctrl.h>

#include "controls/button_geometry.h"
#include "win/dpi.h"
#include "win/fixed_text.h"

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

HWND CreateTooltips(HWND dialog) {
  return CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

DWORD IconButton::LoadIcons(UINT id) { return LoadIconsAt(id, win::DpiOf(hwnd())); }

void IconButton::Rescale(UINT dpi) {
  if (m_iconId) LoadIconsAt(m_iconId, dpi);
}

DWORD IconButton::LoadIconsAt(UINT id, UINT dpi) {
  m_iconId = id;
  const HINSTANCE module = GetModuleHandleW(nullptr);
  const LPCWSTR name = MAKEINTRESOURCEW(LOWORD(id));
  // No size asked: the first image of the group at its own size, the picture drawn for 100 %.
  const DWORD result =
      AssignIcons(static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)));
  if (result != 0 || !m_icon.icon || dpi == win::kBaseDpi) return result;
  // The group holds images for 125, 150 and 200 %; the system takes the nearest for other sizes.
  const int width = win::Scaled(static_cast<int>(m_icon.width), dpi);
  const int height = win::Scaled(static_cast<int>(m_icon.height), dpi);
  const auto scaled = static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
  return scaled ? AssignIcons(scaled) : result;
}

DWORD IconButton::AssignIcons(HICON icon) {
  m_icon = IconImage{};
  if (icon) {
    m_icon.icon.reset(icon);
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
      m_icon = IconImage{};
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

void IconButton::Describe(const wchar_t* name, HWND tips, const wchar_t* tip) {
  m_nameOnly = TRUE;
  SetWindowTextW(hwnd(), name);
  if (!tips) return;
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  // The tooltip watches the button's own mouse messages, so the button needs no relaying.
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetParent(hwnd());
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd());
  tool.lpszText = const_cast<wchar_t*>(tip);  // copied by the tooltip
  SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
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
    case WM_THEMECHANGED:
      InvalidateRect(hwnd(), nullptr, TRUE);
      break;
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
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;

  const RECT itemRect = item.rcItem;
  SetBkMode(dc, TRANSPARENT);
  // Colours are the system's at the moment of drawing, so a switch to high contrast shows at once.
  FillRect(dc, &itemRect, GetSysColorBrush(COLOR_BTNFACE));
  if (pressed || m_mouseOver) DrawFrame(dc, itemRect, pressed);

  const auto caption = m_nameOnly ? win::WideText<256>() : WindowText(hwnd());
  const ButtonLayout layout =
      LayOutButton(ToBox(itemRect), m_icon.icon.get() != nullptr, static_cast<int>(m_icon.width),
                   static_cast<int>(m_icon.height), !caption.empty(), pressed);
  if (m_icon.icon) DrawIcon(dc, ToRect(layout.image), disabled);
  if (!caption.empty()) DrawCaption(dc, caption.c_str(), ToRect(layout.caption), disabled);

  // The focus cue only when the system asks for one: after keyboard use, or always when the user
  // chose to see them.
  const bool cuesHidden = (item.itemState & ODS_NOFOCUSRECT) != 0 ||
                          (SendMessageW(hwnd(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
  if (focused && !cuesHidden) {
    RECT cue = itemRect;
    InflateRect(&cue, -3, -3);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    DrawFocusRect(dc, &cue);
  }
  RestoreDC(dc, saved);
}

void IconButton::DrawFrame(HDC dc, const RECT& area, bool sunken) const {
  const int topLeft = sunken ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT;
  const int bottomRight = sunken ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW;
  const FrameEdges edges = FrameEdgesOf(ToBox(area));
  FillBox(dc, edges.top, topLeft);
  FillBox(dc, edges.left, topLeft);
  FillBox(dc, edges.right, bottomRight);
  FillBox(dc, edges.bottom, bottomRight);
}

void IconButton::DrawIcon(HDC dc, const RECT& image, bool disabled) const {
  // The icon keeps its own size; the larger extent only bounds the disabled effect.
  const UINT flags = DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL);
  DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(m_icon.icon.get()), 0, image.left, image.top,
             image.right - image.left, image.bottom - image.top, flags);
}

void IconButton::DrawCaption(HDC dc, const wchar_t* caption, RECT box, bool disabled) const {
  constexpr UINT kFlags = DT_WORDBREAK | DT_CENTER;
  RECT text = box;
  DrawTextW(dc, caption, -1, &text, kFlags | DT_CALCRECT);
  text = ToRect(CentredIn(ToBox(box), ToBox(text)));
  SetBkMode(dc, TRANSPARENT);
  if (disabled) {
    // Embossed: the highlight one pixel down-right, the shadow on top of it.
    OffsetRect(&text, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTextW(dc, caption, -1, &text, kFlags);
    OffsetRect(&text, -1, -1);
    SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    DrawTextW(dc, caption, -1, &text, kFlags);
  } else {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    DrawTextW(dc, caption, -1, &text, kFlags);
  }
}
