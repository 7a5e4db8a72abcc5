// What both long-lived windows do when the screen changes under them: another scale, another work
// area or resolution (taskbar moved, docking, Remote Desktop), other system colours.
#pragma once
#include <windows.h>

#include <initializer_list>

class IconButton;

// A new scale takes the suggested rectangle and reloads the buttons' icons and the tray icon
// (resource `trayIconId`); a new scale, work area or resolution puts the window back into its
// corner as at start; new colours or theme repaint it. Returns true for WM_DPICHANGED, which it
// answers (with 0) itself; the others still reach the default processing.
bool FollowScreenChange(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, std::initializer_list<IconButton*> buttons,
                        int trayIconId);
