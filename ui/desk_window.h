// What the two long-lived windows, the first copy's and the second copy's, share.
#pragma once
#include <windows.h>

#include <initializer_list>

#include "desktop/listener.h"

class IconButton;

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

// The screen changed under the window. Another scale (WM_DPICHANGED): the suggested rectangle,
// the buttons' icons and the tray icon (resource `trayIconId`) loaded for it. Another scale, work
// area (taskbar moved) or resolution (docking, Remote Desktop): back into the corner, as at start.
// Other colours or theme: repainted. True for WM_DPICHANGED, answered here (with 0); the others
// still go on to the default processing.
bool FollowScreenChange(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, std::initializer_list<IconButton*> buttons,
                        int trayIconId);

// Logoff and shutdown. The query is answered yes at once: the user's programs were asked before
// this copy. From then until the end is called off nothing is restarted, switched or ended. True
// for WM_QUERYENDSESSION and WM_ENDSESSION, answered here; `calledOff` tells an end that was
// cancelled (WM_ENDSESSION with FALSE).
bool FollowSessionEnd(UINT msg, WPARAM wp, LRESULT& result, bool& calledOff);

// The answer to a diagnostic query (WM_TOLVA_QUERY) of either window; `okSent` is the second
// copy's readiness report (always 0 in the first copy).
LRESULT AnswerQuery(WPARAM selector, int okSent);
