// The listener threads: each copy waits for ever on its own five events and hands every
// window action to its UI thread with SendMessage.
#pragma once
#include <windows.h>

// The messages a listener sends to hMainWnd for what it hears: the window's own vocabulary,
// handed in by the window as the thread's parameter. Lives as long as the process.
struct ListenerCommands {
  UINT switchCommand;  // WM_COMMAND id for "switch desk"
  UINT exitCommand;    // WM_COMMAND id for "exit tolva" and "notify n exit"
  UINT trayHotKey;     // WM_HOTKEY id for "hide m"
};

unsigned long __stdcall EventsThreadFunc(void* commands);     // first copy, events 0..4
unsigned long __stdcall EventsThreadFuncNew(void* commands);  // second copy, events 5..9
