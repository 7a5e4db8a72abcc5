// What the two long-lived windows, the first copy's and the second copy's, share.
#pragma once
#include <windows.h>

#include "desktop/listener.h"

// The window commands both listeners send: the ids of ui/ids.h.
extern const ListenerCommands kListenerCommands;

// Start of either window: it becomes hMainWnd, gets the taskbar's "TaskbarCreated" notice (let
// through to an elevated copy's window too), stays on top and takes deskNameStr as its title.
void BeginDeskWindow(HWND wnd);
bool IsTaskbarCreated(UINT msg);
// Enter and Esc never end the two long-lived windows.
bool IsEnterOrEscKeyDown(const MSG& msg);
// A tray callback (WM_TRAYNOTIFY) that is a click of any button on the icon brings the window to
// the front; true when it was one.
bool ShowOnTrayClick(HWND wnd, WPARAM wp, LPARAM lp);
// The tick's part: an icon missing from the tray is added again. True while it is shown.
bool KeepTrayIcon();

// The answer to a diagnostic query (WM_TOLVA_QUERY) of either window; `okSent` is the second
// copy's readiness report (always 0 in the first copy).
LRESULT AnswerQuery(WPARAM selector, int okSent);
