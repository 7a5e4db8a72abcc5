// The long-lived windows' place: the bottom-right corner of the work area.
#pragma once
#include <windows.h>

// Moves `wnd` to the bottom-right corner of the work area, size unchanged, without repainting.
BOOL PlaceWindow(HWND wnd);
// Hides `wnd` and puts it back in its corner, where it shows up again.
void HideToCorner(HWND wnd);
