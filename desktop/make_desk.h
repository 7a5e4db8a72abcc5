// Creates (or reopens) "desk new" and starts the shell and the second copy on it. Runs on a
// short-lived worker thread at start-up and again whenever the watchdog finds the second copy dead.
#pragma once
#include <windows.h>

#include "desktop/switching.h"
#include "win/fixed_text.h"

constexpr const char* kNewDesktopName = "desk new";
using ReasonLine = win::Text<1024>;  // reStr: one report line

unsigned long __stdcall MakeDeskThreadFunc(void*);

// Opens `name` into `run` and starts on it the shell (unless the tracked one still runs) and the
// second copy. 1 on success; on failure 0 with one reason line in `reStr`. The calling thread is
// left on the new desktop when attaching to it succeeded.
int MakeDesktop(DeskRun& run, const char* name, int number, ReasonLine& reStr);
// Starts the shell on `desktop`: with `usersToken` (see PrepareShellToken) when this copy runs
// elevated, else, or when that fails, with its own rights. On failure one reason line goes to
// `reStr`.
bool StartShell(const char* desktop, HANDLE usersToken, win::Handle* explorer, ReasonLine& reStr);
// Null unless this copy runs elevated; then the primary token of the user's ordinary shell on
// "Default" (null with a log line when it cannot be had). The calling thread must be on
// "Default". The caller closes it.
HANDLE PrepareShellToken();
// The shell already running on the calling thread's desktop, left by an earlier run, or null.
HANDLE AdoptShell();

// Puts the calling thread back on the default desktop and logs the outcome.
void checkMake(int result, const char* name, const char* reStr);
