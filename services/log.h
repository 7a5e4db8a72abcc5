// The first copy's log window, and what every layer may know of this process: its window, its
// desktop's name and how it starts a worker thread.
#pragma once
#include <windows.h>

#include "win/fixed_text.h"

extern HWND hMainWnd;  // this process's own dialog window (first and second copy)
extern HWND hLogEdit;  // the log edit control (first copy only)

// Sent to the log window, without parameters, by a thread that queued an append: the window's
// thread writes the queue into the log. It carries no pointer, so the same message from any other
// process (with any values) only does what the next tick would do.
constexpr unsigned kLogDrainMessage = 0x8000 + 0x32;  // WM_APP + 0x32

// Makes `edit` the log window: lifts the edit control's text limit and lets worker threads
// hand whole appends to the thread that owns it.
void AttachLogWindow(HWND edit);

// Appends `text` (code page 936, at most 1023 bytes are kept) at the end of `edit`, first
// dropping the oldest 2000 characters when the log holds more than 400 lines. Callable from any
// thread: another thread's append is queued (a copy, at most kLogQueueSlots waiting) and written
// whole by the window's own thread, in order; it returns once the text is in the log, except on
// a thread whose desktop is not the window's, where it only queues and the next tick writes it.
void AppendLog(HWND edit, const char* text);
// UI thread, once a tick: writes what threads on another desktop queued.
void DrainLog();
void LogLine(const char* text);
// printf-style LogLine into a 1024-byte buffer; longer results are cut.
void LogFormat(const char* format, ...) TOLVA_PRINTF(1, 2);

// What every layer may know of this process: its desktop's name and how it starts a worker thread.
// This process's desktop name, "default" or "desk new"; written once before any thread starts.
extern win::Text<16> deskNameStr;

// Creates a worker thread with a 1 MiB stack reservation; the handle is closed at once. The thread
// only reads `param`, which must live as long as the thread. A thread the system refuses is not
// retried: false then.
bool StartWorkerThread(unsigned long(__stdcall* proc)(void*), const void* param = nullptr);
