#include "services/tray.h"

#include <shellapi.h>

#include <cwchar>

#include "win/dpi.h"
#include "win/fixed_text.h"
#include "win/text.h"

namespace {

// The UI thread's alone: the listener and the update worker hand what they would show to it.
struct TrayRecord {
  NOTIFYICONDATAW data{};
  int shown = 0;
};

TrayRecord gTrayRecord;
TrayRecord& Tray() { return gTrayRecord; }

template <size_t N>
void CopyField(wchar_t (&field)[N], const char* text) {
  const auto wide = win::FromAnsi(text);
  const size_t n = FieldLength(wide.c_str(), wide.size(), N);
  wmemcpy(field, wide.c_str(), n);
  field[n] = L'\0';
}

// At the small-icon size of `dpi`. Not shared (no LR_SHARED), so that a change of scale can
// destroy the icon it replaces.
HICON LoadSmallIcon(int resourceId, UINT dpi) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                             win::MetricForDpi(SM_CXSMICON, dpi),
                                             win::MetricForDpi(SM_CYSMICON, dpi), LR_DEFAULTCOLOR));
  if (!icon)
    icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  return icon;
}

}  // namespace

HICON TrayIconInit(int resourceId, HWND wnd, UINT message, const char* tip) {
  HICON icon = LoadSmallIcon(resourceId, win::DpiOf(wnd));
  NOTIFYICONDATAW& d = Tray().data;
  d.cbSize = NOTIFYICONDATAW_V2_SIZE;
  d.hWnd = wnd;
  d.uCallbackMessage = message;
  d.hIcon = icon;
  CopyField(d.szTip, tip);
  return icon;
}

HICON TrayIconRescale(int resourceId, UINT dpi, win::Icon* replaced) {
  HICON icon = LoadSmallIcon(resourceId, dpi);
  NOTIFYICONDATAW& d = Tray().data;
  if (!icon) return d.hIcon;
  replaced->reset(d.hIcon);
  // Balloons re-apply the record's icon: it is the new one whether or not the icon is shown.
  d.hIcon = icon;
  if (Tray().shown == 1) {
    d.uFlags = NIF_ICON;
    Shell_NotifyIconW(NIM_MODIFY, &d);
  }
  return icon;
}

int TrayIconShown() { return Tray().shown; }

void TrayIconLost() { Tray().shown = 0; }

int TrayIconAdd() {
  NOTIFYICONDATAW& d = Tray().data;
  d.uID = 0;
  d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  Tray().shown = Shell_NotifyIconW(NIM_ADD, &d) ? 1 : 0;
  return Tray().shown;
}

int TrayIconBalloon(const char* title, const char* text) {
  NOTIFYICONDATAW& d = Tray().data;
  d.uID = 0;
  d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
  CopyField(d.szInfo, text);
  d.uTimeout = 1000;
  CopyField(d.szInfoTitle, title);
  d.dwInfoFlags = NIIF_INFO;
  return Shell_NotifyIconW(NIM_MODIFY, &d) ? 1 : 0;
}

void TrayIconDelete() {
  Tray().shown = 0;
  Shell_NotifyIconW(NIM_DELETE, &Tray().data);
}

int TrayIconReAdd() {
  // Delete first, so that a stale entry of the same window and id cannot block the add.
  TrayIconDelete();
  return TrayIconAdd();
}
