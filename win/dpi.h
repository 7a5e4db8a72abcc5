// The scale a window is shown at. Windows 10 (1607 and later) gives each window its own DPI and
// metrics per DPI; earlier systems have one DPI for the whole screen.
#pragma once
#include <windows.h>

namespace win {

constexpr UINT kBaseDpi = 96;  // 100 %

UINT DpiOf(HWND wnd);
// GetSystemMetrics at `dpi` where the system has per-DPI metrics, else at the system's DPI.
int MetricForDpi(int index, UINT dpi);
// `pixels` at 100 % scaled to `dpi`, rounded.
inline int Scaled(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), kBaseDpi); }

}  // namespace win
