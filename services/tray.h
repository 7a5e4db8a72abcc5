// The process's one notification-area icon: its record, whether it is shown, add, balloon,
// delete. The UI thread's alone: every operation runs there.
#pragma once
#include <windows.h>

#include "win/handles.h"

// Sets what every add shows: the icon resource at the small-icon size of the display's scaling
// (sharp at 125-200 %), the window that gets the icon's clicks as `message`, and the tip. UI thread,
// before the first add. Returns the icon, held to the end of the process as the tray shows it.
HICON TrayIconInit(int resourceId, HWND wnd, UINT message, const char* tip);
// The window moved to a scale of another DPI: the icon is loaded again at the small-icon size of
// `dpi` and shown in place of the old one, which goes to `replaced` for the caller to let go once
// nothing else shows it. Returns the icon now in the record (the old one when the load failed).
HICON TrayIconRescale(int resourceId, UINT dpi, win::Icon* replaced);

// 1 while the icon is believed to be in the tray: after an add that worked, until a delete or
// the taskbar's restart.
int TrayIconShown();
// The taskbar restarted and took the icon with it.
void TrayIconLost();

// Texts are code page 936; each is cut to its field (tip 127, text 255, title 63 characters).
// The add's result (1 or 0) becomes the shown flag.
int TrayIconAdd();
int TrayIconBalloon(const char* title, const char* text);
void TrayIconDelete();
// Restores a lost icon: delete, then add; returns the add's result.
int TrayIconReAdd();
