// Resource, control, message, timer and hot-key ids of the program. Shared by the .rc file.
#pragma once

// Dialog templates
#define IDD_MAIN 102
#define IDD_NEWDESK 129
#define IDD_RUNNING 136

// Controls
#define IDC_TRAY 1001
#define IDC_CANCEL 1003
#define IDC_LOG 1006
#define IDC_EXIT 1008
#define IDC_SWITCH 1009

// Icons
#define IDI_DEFAULT 128
#define IDI_NEWDESK 130
#define IDI_EXIT 133
#define IDI_SWITCH 135

#ifndef RC_INVOKED
constexpr unsigned IDT_TICK = 1;               // one-second tick of both windows
constexpr unsigned IDT_START = 2;              // first copy: the one-second pause before the creation run
constexpr unsigned IDT_EXIT = 3;               // first copy: the 200 ms the second copy gets to leave by itself
constexpr unsigned WM_TRAYNOTIFY = 0x0400 + 99; // WM_USER + 99 = 1123, tray icon callback

// Diagnostics for tests and measurement scripts: the window answers with a state value.
// wParam selects it (see TolvaQuery); unknown selectors answer -1.
constexpr unsigned WM_TOLVA_QUERY = 0x8000 + 0x40;  // WM_APP + 0x40
enum TolvaQuery : unsigned {
  kQuerySwitchState = 0,  // first copy: 0 not ready, 1 on Default, 2 on "desk new"
  kQueryDeadCount = 1,    // ticks since the partner was last heard
  kQuerySwitchRefused = 2,
  kQueryTrayShown = 3,
  kQueryOkSent = 4,       // second copy: "desk n ok" sent since start or taskbar restart
};

// A listener's request, wParam the event's position in its group (lParam 0): posted, so the UI
// thread decides and acts; a foreign post does what the event's signal would.
constexpr unsigned WM_TOLVA_REQUEST = 0x8000 + 0x34;  // WM_APP + 0x34
// Second copy: the first copy's process ended (no parameters; the window looks for itself).
constexpr unsigned WM_TOLVA_PARENT_ENDED = 0x8000 + 0x35;  // WM_APP + 0x35

// The update worker's announcement: the UI thread shows its balloon (no parameters; only once the
// worker has set it, see TakeUpdateNews).
constexpr unsigned ID_UPDATE_NEWS = 1097;

// The command the update worker posts after announcing a newer version: an exit the user did
// not ask for, which never ends the program under the user's own windows on "desk new".
constexpr unsigned ID_UPDATE_EXIT = 1098;

// Global hot keys, all with Ctrl+Alt
constexpr int HK_EXIT = 7771;          // Ctrl+Alt+K
constexpr int HK_SWITCH_N = 7773;      // Ctrl+Alt+N
constexpr int HK_TRAY = 7774;          // Ctrl+Alt+H
constexpr int HK_SWITCH_ENTER = 7775;  // Ctrl+Alt+Enter
#endif
