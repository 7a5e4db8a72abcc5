// The process's one notification-area icon: add, balloon, delete.
#pragma once
#include <windows.h>

#include <atomic>

#include "win/handles.h"

extern HICON hTrayIcon;              // the icon every add shows
extern std::atomic<int> trayShown;   // 1 while the icon is believed to be in the tray

// The icon resource at the small-icon size of `dpi`, so that the tray shows it sharp at
// 125-200 %. Held to the end of the process, as the tray shows it until then.
HICON LoadTrayIcon(int resourceId, UINT dpi);
// Loads the icon for a new scale into hTrayIcon and the shown tray icon; returns the one it
// replaced (empty when the load failed and nothing changed).
win::Icon ReplaceTrayIcon(int resourceId, UINT dpi);
// Lets "TaskbarCreated" from the (unelevated) shell reach an elevated copy's window.
void AllowTaskbarCreated(HWND wnd, UINT taskbarCreatedMsg);

// Texts are code page 936; each is cut to its field (tip 127, text 255, title 63 characters).
int TrayIconAdd(HICON icon, HWND wnd, UINT message, const char* tip);
int TrayIconBalloon(const char* title, const char* text);
void TrayIconDelete();
// Restores a lost icon: delete, then add; returns the add's result.
int TrayIconReAdd(HICON icon, HWND wnd, UINT message, const char* tip);
