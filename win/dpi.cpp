#include "win/dpi.h"

namespace win {

namespace {

// Windows 7 and 8.1 lack these: looked up, not imported, so the program still starts there.
template <typename F>
F User32Function(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

// The look-ups are initialised at run time without a guard: only the UI thread scales windows.
UINT DpiOf(HWND wnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow && wnd) {
    const UINT dpi = getDpiForWindow(wnd);
    if (dpi) return dpi;
  }
  const HDC dc = GetDC(wnd);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
  if (dc) ReleaseDC(wnd, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

int MetricForDpi(int index, UINT dpi) {
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  static const auto forDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

}  // namespace win
