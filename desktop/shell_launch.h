// Starting and finding programs on a desktop: the shell (never with an administrator token the
// user did not ask for; or the one already running there), for creation the second copy, and the
// user's own windows there.
#pragma once
#include <windows.h>

#include "desktop/desk_rules.h"
#include "win/fixed_text.h"
#include "win/handles.h"

// The calls here return what happened with its cause: 0 when it worked, else the system's error
// code. They log nothing; the caller that owns the report writes it.

using ReasonLine = win::Text<1024>;  // reStr: one report line

// One report line: `format` takes the error number and the system's text for `error`.
ReasonLine FormatReason(const char* format, DWORD error);
// The Windows folder: every program this one starts runs there, never in the folder the program
// was started from (a USB stick that could not be ejected, a Downloads folder searched for DLLs).
// ERROR_FILENAME_EXCED_RANGE when it does not fit.
DWORD WindowsFolder(win::WideText<MAX_PATH + 1>& folder);
// Starts `application` with `commandLine` (written to, as CreateProcessW may) on `desktop` of
// "WinSta0", in the Windows folder, inheriting nothing.
DWORD StartOnDesktop(const wchar_t* application, wchar_t* commandLine, const char* desktop, win::Handle* process);

// How the next shell starts, and the user's ordinary token when that is the way.
struct ShellPlan {
  ShellLaunch launch = ShellLaunch::OwnToken;
  win::Handle usersToken;
};
// Looks for the user's ordinary shell on the calling thread's desktop ("Default"); `waitedMs` is
// how long a start has been waiting for it.
ShellPlan PlanShell(unsigned long long waitedMs);
// How a shell start went. `error` is 0 when the shell started, with the token `launch` names
// (OwnToken, UsersToken or LimitedToken), else the cause of the last way that failed.
// `usersTokenError` is not 0 when the user's shell's token was tried first and refused.
struct ShellStart {
  DWORD error = 0;
  ShellLaunch launch = ShellLaunch::OwnToken;
  DWORD usersTokenError = 0;
};
// Starts the shell on `desktop` as `plan` says (not for ShellLaunch::Wait); a refused user's
// token falls back to a limited one.
ShellStart StartShell(const char* desktop, const ShellPlan& plan, win::Handle* explorer);
// The system's explorer running as the shell of `desktop` (its taskbar or desktop window), seen
// from any desktop; null when there is none.
HANDLE FindShellOn(const wchar_t* desktop);

// The user's own windows on "desk new", looked up from any desktop.
// The windows on "desk new" that the user works in (see IsUserWindow); none when the desktop
// cannot be opened.
UserWork FindUserWork();
