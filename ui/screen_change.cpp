#include "ui/screen_change.h"

#include "app/log.h"
#include "controls/icon_button.h"
#include "ui/tray.h"

bool FollowScreenChange(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, std::initializer_list<IconButton*> buttons,
                        int trayIconId) {
  switch (msg) {
    case WM_DPICHANGED: {
      const UINT dpi = HIWORD(wp);
      if (const auto* suggested = reinterpret_cast<const RECT*>(lp))
        SetWindowPos(wnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      for (IconButton* button : buttons) button->Rescale(dpi);
      const win::Icon old = ReplaceTrayIcon(trayIconId, dpi);
      // The second copy's title bar shows the tray icon as its class icon.
      if (old && static_cast<ULONG_PTR>(GetClassLongPtrW(wnd, GCLP_HICON)) == reinterpret_cast<ULONG_PTR>(old.get()))
        SetClassLongPtrW(wnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(hTrayIcon));
      PlaceWindow(wnd);
      return true;
    }
    case WM_SETTINGCHANGE:
      if (wp == SPI_SETWORKAREA) PlaceWindow(wnd);
      return false;
    case WM_DISPLAYCHANGE:
      PlaceWindow(wnd);
      return false;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      // The buttons read the system colours at each draw; only the children miss the message.
      RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      return false;
  }
  return false;
}
