#include "ui/tray.h"

#include <shellapi.h>

#include <cwchar>

#include "ui/tray_text.h"
#include "win/dpi.h"
#include "win/immortal.h"
#include "win/sync.h"
#include "win/text.h"

HICON hTrayIcon = nullptr;
std::atomic<int> trayShown{0};

namespace {

// The record is shared by the UI thread, the listener and the update worker: each operation
// fills its fields and calls the shell under this lock.
struct TrayRecord {
  win::CriticalSection lock;
  NOTIFYICONDATAW data{};
};

// Lives to the end of the process: the listener and the update worker may still show a balloon
// while statics are destroyed.
win::Immortal<TrayRecord> trayRecord;
TrayRecord& Tray() { return *trayRecord; }

class TrayLock : public win::Lock {
 public:
  TrayLock() : win::Lock(Tray().lock) {}
};

template <size_t N>
void CopyField(wchar_t (&field)[N], const char* text) {
  const auto wide = win::FromAnsi(text);
  const size_t n = FieldLength(wide.c_str(), wide.size(), N);
  wmemcpy(field, wide.c_str(), n);
  field[n] = L'\0';
}

}  // namespace

HICON LoadTrayIcon(int resourceId, UINT dpi) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const int width = win::MetricForDpi(SM_CXSMICON, dpi);
  const int height = win::MetricForDpi(SM_CYSMICON, dpi);
  HICON icon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
  // Not shared (no LR_SHARED), so that a change of scale can destroy the one it replaces.
  return icon ? icon
              : static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
}

win::Icon ReplaceTrayIcon(int resourceId, UINT dpi) {
  HICON icon = LoadTrayIcon(resourceId, dpi);
  if (!icon) return win::Icon();
  win::Icon old(hTrayIcon);
  hTrayIcon = icon;
  TrayLock lock;
  NOTIFYICONDATAW& d = Tray().data;
  // Balloons re-apply the record's icon: it must be the new one whether or not the icon is shown.
  d.hIcon = icon;
  if (trayShown == 1) {
    d.uFlags = NIF_ICON;
    Shell_NotifyIconW(NIM_MODIFY, &d);
  }
  return old;
}

void AllowTaskbarCreated(HWND wnd, UINT taskbarCreatedMsg) {
  if (taskbarCreatedMsg) ChangeWindowMessageFilterEx(wnd, taskbarCreatedMsg, MSGFLT_ALLOW, nullptr);
}

int TrayIconAdd(HICON icon, HWND wnd, UINT message, const char* tip) {
  TrayLock lock;
  NOTIFYICONDATAW& d = Tray().data;
  d.cbSize = NOTIFYICONDATAW_V2_SIZE;
  d.hWnd = wnd;
  d.uID = 0;
  d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  d.uCallbackMessage = message;
  d.hIcon = icon;
  CopyField(d.szTip, tip);
  return Shell_NotifyIconW(NIM_ADD, &d) ? 1 : 0;
}

int TrayIconBalloon(const char* title, const char* text) {
  TrayLock lock;
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
  trayShown = 0;
  TrayLock lock;
  Shell_NotifyIconW(NIM_DELETE, &Tray().data);
}

int TrayIconReAdd(HICON icon, HWND wnd, UINT message, const char* tip) {
  // Delete first, so that a stale entry of the same window and id cannot block the add.
  TrayIconDelete();
  return TrayIconAdd(icon, wnd, message, tip);
}
