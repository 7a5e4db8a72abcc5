// Starting programs on a desktop: the shell (never with an administrator token the user did not
// ask for; or the one already running there) and, for creation, the second copy.
#pragma once
#include <windows.h>

#include "desktop/user_work.h"
#include "win/fixed_text.h"
#include "win/handles.h"

using ReasonLine = win::Text<1024>;  // reStr: one report line

// Formats the last error into `reStr`; `format` takes the error number and the system's text.
void FormatReason(ReasonLine& reStr, const char* format);
// The Windows folder: every program this one starts runs there, never in the folder the program
// was started from (a USB stick that could not be ejected, a Downloads folder searched for DLLs).
// False when the system cannot say or it does not fit.
bool WindowsFolder(win::WideText<MAX_PATH + 1>& folder);
// Starts `application` with `commandLine` (written to, as CreateProcessW may) on `desktop` of
// "WinSta0", in the Windows folder, inheriting nothing. False, with the last error set, when the
// system refuses.
bool StartOnDesktop(const wchar_t* application, wchar_t* commandLine, const char* desktop, win::Handle* process);

// How the next shell starts, and the user's ordinary token when that is the way.
struct ShellPlan {
  ShellLaunch launch = ShellLaunch::OwnToken;
  win::Handle usersToken;
};
// Looks for the user's ordinary shell on the calling thread's desktop ("Default"); `waitedMs` is
// how long a start has been waiting for it.
ShellPlan PlanShell(unsigned long long waitedMs);
// Starts the shell on `desktop` as `plan` says (not for ShellLaunch::Wait), logging with which
// token. On failure one reason line goes to `reStr`.
[[nodiscard]] bool StartShell(const char* desktop, ShellPlan& plan, win::Handle* explorer, ReasonLine& reStr);
// The system's explorer running as the shell of `desktop` (its taskbar or desktop window), seen
// from any desktop; null when there is none.
HANDLE FindShellOn(const wchar_t* desktop);
