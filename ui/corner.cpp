#include "ui/corner.h"

BOOL PlaceWindow(HWND wnd) {
  RECT r{};
  GetWindowRect(wnd, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  // The work area itself, rather than the full-screen client size plus a caption: the two agree
  // for a bottom taskbar on Windows, but only the work area is right for a taskbar at the top or
  // left, and for platforms whose full-screen metrics are off.
  RECT work{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
    work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  // Flush into the corner: just above a bottom taskbar, left of a right one.
  return MoveWindow(wnd, work.right - w, work.bottom - h, w, h, FALSE);
}

void HideToCorner(HWND wnd) {
  ShowWindow(wnd, SW_HIDE);
  PlaceWindow(wnd);
}
