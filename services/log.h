// The first copy's log window.
#pragma once
#include <windows.h>

#include "win/fixed_text.h"

extern HWND hMainWnd;  // this process's own dialog window (first and second copy)
extern HWND hLogEdit;  // the log edit control (first copy only)

// Makes `edit` the log window: lifts the edit control's text limit and lets worker threads
// hand whole appends to the thread that owns it.
void AttachLogWindow(HWND edit);

// Appends `text` (code page 936, at most 1023 bytes are kept) at the end of `edit`, first
// dropping the oldest 2000 characters when the log holds more than 400 lines. Callable from any
// thread: appends from other threads run whole on the window's own thread, one at a time.
void AppendLog(HWND edit, const char* text);
void LogLine(const char* text);
// printf-style LogLine into a 1024-byte buffer; longer results are cut.
void LogFormat(const char* format, ...) TOLVA_PRINTF(1, 2);
