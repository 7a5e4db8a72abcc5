#include "desktop/shell_launch.h"

#include <aclapi.h>

#include "desktop/desk_rules.h"
#include "desktop/user_work.h"
#include "services/log.h"
#include "win/error_text.h"
#include "win/text.h"

// `format` takes the error number and the system's text for it.
void FormatReason(ReasonLine& reStr, const char* format) {
  const DWORD error = GetLastError();
  reStr.Format(format, static_cast<int>(error), ReasonText(error).c_str());
}

bool StartOnDesktop(const wchar_t* application, wchar_t* commandLine, const char* desktop, win::Handle* process) {
  auto desktopName = win::FromAnsi<32>(desktop);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.lpDesktop = desktopName.Buffer();
  PROCESS_INFORMATION pi{};
  // Nothing is inherited: a session-long shell holding, say, the pipe of a launcher that
  // redirected the program's output would keep that launcher waiting for ever.
  if (!CreateProcessW(application, commandLine, nullptr, nullptr, FALSE,
                      CREATE_DEFAULT_ERROR_MODE | CREATE_SEPARATE_WOW_VDM, nullptr, nullptr, &si, &pi))
    return false;
  win::Handle thread(pi.hThread);
  process->reset(pi.hProcess);
  return true;
}

namespace {

// The system's explorer by full path: no explorer.exe in the program's or the current folder runs
// instead, and the Windows folder is not redirected for a 32-bit program on 64-bit Windows, as
// System32 is. The shared one, not a per-user folder of a terminal session.
using ShellPath = win::WideText<MAX_PATH + 16>;
bool SystemExplorerPath(ShellPath& path) {
  win::WideText<MAX_PATH> windowsDir;
  const UINT dirLength = GetSystemWindowsDirectoryW(windowsDir.Buffer(), MAX_PATH);
  if (dirLength == 0) return false;
  windowsDir.SetLength(dirLength);
  if (dirLength >= MAX_PATH || !ExplorerPath(windowsDir.c_str(), path.Buffer(), path.capacity() + 1)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return true;
}

// Elevated with a split token: the user's ordinary programs run with the limited twin.
bool SelfElevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  win::Handle token(raw);
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size) &&
         type == TokenElevationTypeFull;
}

bool TokenElevated(HANDLE token) {
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

// A primary token of the process that owns `shell`; null, with the last error set, on failure.
HANDLE ShellToken(HWND shell) {
  DWORD pid = 0;
  if (!GetWindowThreadProcessId(shell, &pid)) return nullptr;
  win::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  HANDLE raw = nullptr;
  if (!process || !OpenProcessToken(process.get(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &raw))
    return nullptr;
  win::Handle token(raw);
  HANDLE primary = nullptr;
  if (!DuplicateTokenEx(token.get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                                         TOKEN_ADJUST_SESSIONID,
                        nullptr, SecurityImpersonation, TokenPrimary, &primary))
    return nullptr;
  return primary;
}

// A desktop made by an elevated process is closed to the user's ordinary token: let that
// token's user in, so the shell started with it can attach.
bool GrantDesktopTo(const char* desktop, HANDLE token) {
  alignas(void*) unsigned char userBuffer[128];  // TOKEN_USER with its SID (at most 76 bytes)
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, userBuffer, sizeof userBuffer, &size)) return false;
  const auto* user = reinterpret_cast<const TOKEN_USER*>(userBuffer);
  win::Desktop desk(OpenDesktopA(desktop, 0, FALSE, READ_CONTROL | WRITE_DAC));
  if (!desk) return false;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  DWORD e = GetSecurityInfo(desk.get(), SE_WINDOW_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &sd);
  if (e == ERROR_SUCCESS) {
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<LPWSTR>(user->User.Sid);
    PACL granted = nullptr;
    e = SetEntriesInAclW(1, &access, dacl, &granted);
    if (e == ERROR_SUCCESS)
      e = SetSecurityInfo(desk.get(), SE_WINDOW_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, granted,
                          nullptr);
    if (granted) LocalFree(granted);
  }
  if (sd) LocalFree(sd);
  SetLastError(e);
  return e == ERROR_SUCCESS;
}

void LogShellFallback(DWORD error) {
  LogFormat("MakeDesktop: explorer not started as the user's shell,error no %d ,reason is %s,started with this "
            "program's rights\r\n",
            static_cast<int>(error), ReasonText(error).c_str());
}

}  // namespace

HANDLE PrepareShellToken() {
  if (!SelfElevated()) return nullptr;
  HWND shell = GetShellWindow();
  HANDLE token = shell ? ShellToken(shell) : nullptr;
  const DWORD error = GetLastError();
  const ShellLaunch launch =
      ChooseShellLaunch(true, shell != nullptr, token != nullptr, token && TokenElevated(token));
  if (launch == ShellLaunch::OrdinaryAfterFallback) LogShellFallback(error);
  if (launch != ShellLaunch::UsersToken && token) {
    CloseHandle(token);
    token = nullptr;
  }
  return token;
}

bool StartShell(const char* desktop, HANDLE usersToken, win::Handle* explorer, ReasonLine& reStr) {
  ShellPath shellPath;
  wchar_t shell[] = L"explorer";  // CreateProcessW may write to its command line
  if (!SystemExplorerPath(shellPath)) {
    FormatReason(reStr, "MakeDesktop: CreateProcess explorer failed,error no %d ,reason is %s   \r\n");
    return false;
  }
  if (usersToken) {
    auto desktopName = win::FromAnsi<32>(desktop);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.lpDesktop = desktopName.Buffer();
    PROCESS_INFORMATION pi{};
    if (GrantDesktopTo(desktop, usersToken) &&
        CreateProcessWithTokenW(usersToken, 0, shellPath.c_str(), shell,
                                CREATE_DEFAULT_ERROR_MODE | CREATE_SEPARATE_WOW_VDM, nullptr, nullptr, &si, &pi)) {
      const win::Handle thread(pi.hThread);
      explorer->reset(pi.hProcess);
      return true;
    }
    LogShellFallback(GetLastError());
  }
  if (!StartOnDesktop(shellPath.c_str(), shell, desktop, explorer)) {
    FormatReason(reStr, "MakeDesktop: CreateProcess explorer failed,error no %d ,reason is %s   \r\n");
    return false;
  }
  return true;
}

HANDLE AdoptShell() {
  // The shell window of the calling thread's desktop, only when its process is the system's
  // explorer, the one this program starts there: a shell that a crashed earlier run left behind.
  HWND shell = GetShellWindow();
  DWORD pid = 0;
  if (!shell || !GetWindowThreadProcessId(shell, &pid)) return nullptr;
  win::Handle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  win::WideText<MAX_PATH + 1> image;
  ShellPath expected;
  DWORD length = MAX_PATH;
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, image.Buffer(), &length) ||
      !SystemExplorerPath(expected))
    return nullptr;
  image.SetLength(length);
  if (lstrcmpiW(image.c_str(), expected.c_str()) != 0) return nullptr;
  return process.release();
}

