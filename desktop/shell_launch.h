// Starting programs on a desktop: the shell (with the user's ordinary rights when this copy runs
// elevated, or the one an earlier run left there) and, for creation, the second copy.
#pragma once
#include <windows.h>

#include "win/fixed_text.h"
#include "win/handles.h"

using ReasonLine = win::Text<1024>;  // reStr: one report line

// Formats the last error into `reStr`; `format` takes the error number and the system's text.
void FormatReason(ReasonLine& reStr, const char* format);
// Starts `application` with `commandLine` (written to, as CreateProcessW may) on `desktop`,
// inheriting nothing. False, with the last error set, when the system refuses.
bool StartOnDesktop(const wchar_t* application, wchar_t* commandLine, const char* desktop, win::Handle* process);

// Starts the shell on `desktop`: with `usersToken` (see PrepareShellToken) when this copy runs
// elevated, else, or when that fails, with its own rights. On failure one reason line goes to
// `reStr`.
[[nodiscard]] bool StartShell(const char* desktop, HANDLE usersToken, win::Handle* explorer, ReasonLine& reStr);
// Null unless this copy runs elevated; then the primary token of the user's ordinary shell on
// "Default" (null with a log line when it cannot be had). The calling thread must be on
// "Default". The caller closes it.
HANDLE PrepareShellToken();
// The shell already running on the calling thread's desktop, left by an earlier run, or null.
HANDLE AdoptShell();
