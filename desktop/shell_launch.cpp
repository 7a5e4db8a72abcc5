#include "desktop/shell_launch.h"

#include <windows.h>

#include <aclapi.h>
#include <tlhelp32.h>

#include <utility>

#include "desktop/desk_rules.h"
#include "desktop/protocol.h"
#include "win/fixed_text.h"
#include "win/handles.h"
#include "win/text.h"

ReasonLine FormatReason(const char* format, DWORD error) {
  ReasonLine line;
  line.Format(format, static_cast<int>(error), ReasonText(error).c_str());
  return line;
}

DWORD WindowsFolder(win::WideText<MAX_PATH + 1>& folder) {
  // The shared Windows folder, not a per-user one of a terminal session.
  const UINT length = GetSystemWindowsDirectoryW(folder.Buffer(), MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) {
    folder.SetLength(0);
    return length ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
  }
  folder.SetLength(length);
  return 0;
}

namespace {

constexpr DWORD kStartFlags = CREATE_DEFAULT_ERROR_MODE | CREATE_SEPARATE_WOW_VDM;

// "WinSta0\<desktop>": a desktop name alone is looked up in the window station the new process
// inherits, which need not be the interactive one.
using DesktopPath = win::WideText<48>;
DesktopPath InteractiveDesktop(const char* desktop) {
  DesktopPath path;
  path.Format(L"WinSta0\\%ls", win::FromAnsi<32>(desktop).c_str());
  return path;
}

}  // namespace

DWORD StartOnDesktop(const wchar_t* application, wchar_t* commandLine, const char* desktop, win::Handle* process) {
  DesktopPath desktopPath = InteractiveDesktop(desktop);
  win::WideText<MAX_PATH + 1> folder;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.lpDesktop = desktopPath.Buffer();
  PROCESS_INFORMATION pi{};
  // Nothing is inherited: a session-long shell holding, say, the pipe of a launcher that
  // redirected the program's output would keep that launcher waiting for ever.
  if (!CreateProcessW(application, commandLine, nullptr, nullptr, FALSE, kStartFlags, nullptr,
                      WindowsFolder(folder) == 0 ? folder.c_str() : nullptr, &si, &pi))
    return GetLastError();
  win::Handle thread(pi.hThread);
  process->reset(pi.hProcess);
  return 0;
}

namespace {

// The system's explorer by full path: no explorer.exe in the program's or the current folder runs
// instead, and the Windows folder is not redirected for a 32-bit program on 64-bit Windows, as
// System32 is.
using ShellPath = win::WideText<MAX_PATH + 16>;
DWORD SystemExplorerPath(ShellPath& path) {
  win::WideText<MAX_PATH + 1> windowsDir;
  if (const DWORD error = WindowsFolder(windowsDir)) return error;
  if (!ExplorerPath(windowsDir.c_str(), path.Buffer(), path.capacity() + 1)) return ERROR_FILENAME_EXCED_RANGE;
  return 0;
}

// Elevated from a split token: the user's ordinary programs run with the limited twin. Without
// one (UAC off, a standard user) the type is TokenElevationTypeDefault.
bool SelfSplitElevated() {
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

constexpr DWORD kStartTokenAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY;

// A primary token of the process that owns `shell`; null when it cannot be had.
HANDLE ShellToken(HWND shell) {
  DWORD pid = 0;
  if (!GetWindowThreadProcessId(shell, &pid)) return nullptr;
  win::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  HANDLE raw = nullptr;
  if (!process || !OpenProcessToken(process.get(), kStartTokenAccess, &raw)) return nullptr;
  win::Handle token(raw);
  HANDLE primary = nullptr;
  if (!DuplicateTokenEx(token.get(), kStartTokenAccess | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID, nullptr,
                        SecurityImpersonation, TokenPrimary, &primary))
    return nullptr;
  return primary;
}

// A SID built by the system in a buffer of its own.
struct WellKnownSid {
  alignas(void*) unsigned char bytes[SECURITY_MAX_SID_SIZE];
  bool Make(WELL_KNOWN_SID_TYPE type) {
    DWORD size = sizeof bytes;
    return CreateWellKnownSid(type, nullptr, bytes, &size) != FALSE;
  }
  PSID get() { return bytes; }
};

// This program's own token made harmless for the shell: the administrative groups only deny,
// every privilege a standard user lacks is gone, objects it makes belong to the user, and it runs
// at medium integrity. The elevated twin's linked token would be the natural choice, but without
// the TCB privilege the system hands it out for identification only. The error is read in each
// return expression, before the destructors of the locals run.
DWORD LimitedToken(win::Handle* limited) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), kStartTokenAccess | TOKEN_ADJUST_DEFAULT, &raw)) return GetLastError();
  const win::Handle own(raw);

  static const WELL_KNOWN_SID_TYPE kAdminGroups[] = {
      WinBuiltinAdministratorsSid,    WinBuiltinPowerUsersSid,   WinBuiltinAccountOperatorsSid,
      WinBuiltinSystemOperatorsSid,   WinBuiltinPrintOperatorsSid, WinBuiltinBackupOperatorsSid,
      WinBuiltinNetworkConfigurationOperatorsSid};
  constexpr DWORD kGroups = sizeof kAdminGroups / sizeof kAdminGroups[0];
  WellKnownSid groups[kGroups];
  SID_AND_ATTRIBUTES disabled[kGroups] = {};
  DWORD disabledCount = 0;
  for (DWORD i = 0; i < kGroups; ++i)
    if (groups[i].Make(kAdminGroups[i])) disabled[disabledCount++].Sid = groups[i].get();

  alignas(void*) unsigned char privilegeBuffer[4096];  // TOKEN_PRIVILEGES: about 36 entries of 12 bytes
  DWORD size = 0;
  if (!GetTokenInformation(own.get(), TokenPrivileges, privilegeBuffer, sizeof privilegeBuffer, &size))
    return GetLastError();
  const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(privilegeBuffer);
  constexpr DWORD kMaxDropped = 64;
  LUID_AND_ATTRIBUTES dropped[kMaxDropped] = {};
  DWORD droppedCount = 0;
  for (DWORD i = 0; i < held->PrivilegeCount && droppedCount < kMaxDropped; ++i) {
    LUID luid = held->Privileges[i].Luid;
    win::WideText<64> name;
    DWORD length = static_cast<DWORD>(name.capacity() + 1);
    if (LookupPrivilegeNameW(nullptr, &luid, name.Buffer(), &length)) name.SetLength(length);
    if (!StandardUserPrivilege(name.c_str())) dropped[droppedCount++].Luid = luid;
  }

  HANDLE restricted = nullptr;
  if (!CreateRestrictedToken(own.get(), 0, disabledCount, disabled, droppedCount, dropped, 0, nullptr,
                             &restricted))
    return GetLastError();
  win::Handle token(restricted);

  alignas(void*) unsigned char userBuffer[128];  // TOKEN_USER with its SID (at most 76 bytes)
  if (!GetTokenInformation(token.get(), TokenUser, userBuffer, sizeof userBuffer, &size)) return GetLastError();
  PSID user = reinterpret_cast<TOKEN_USER*>(userBuffer)->User.Sid;
  // An elevated token's objects belong to the administrators and grant only them and the
  // system: the shell, which may no longer use that group, would be shut out of its own.
  TOKEN_OWNER owner{user};
  WellKnownSid system;
  alignas(void*) unsigned char aclBuffer[sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
  auto* acl = reinterpret_cast<PACL>(aclBuffer);
  TOKEN_DEFAULT_DACL dacl{acl};
  WellKnownSid medium;
  TOKEN_MANDATORY_LABEL label{};
  label.Label.Sid = medium.get();
  label.Label.Attributes = SE_GROUP_INTEGRITY;
  if (!system.Make(WinLocalSystemSid) || !medium.Make(WinMediumLabelSid) || !InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, system.get()) ||
      !SetTokenInformation(token.get(), TokenDefaultDacl, &dacl, sizeof dacl) ||
      !SetTokenInformation(token.get(), TokenIntegrityLevel, &label, sizeof label + GetLengthSid(medium.get())))
    return GetLastError();
  // The owner as a limited token has it; where the system cannot change it (Wine) the default
  // DACL alone still lets the user into the shell's objects.
  SetTokenInformation(token.get(), TokenOwner, &owner, sizeof owner);
  *limited = std::move(token);
  return 0;
}

// What a shell does on its desktop: windows, menus, hooks, reading and writing its objects,
// listing them, and bringing it to the screen. Not the right to delete the desktop or change
// who may use it.
constexpr DWORD kShellDesktopRights = DESKTOP_READOBJECTS | DESKTOP_CREATEWINDOW | DESKTOP_CREATEMENU |
                                      DESKTOP_HOOKCONTROL | DESKTOP_ENUMERATE | DESKTOP_WRITEOBJECTS |
                                      DESKTOP_SWITCHDESKTOP | READ_CONTROL;

// A desktop made by an elevated process is closed to the user's ordinary and limited tokens: let
// the token's user in with the rights a shell needs, so the shell can attach.
DWORD GrantDesktopTo(const char* desktop, HANDLE token) {
  alignas(void*) unsigned char userBuffer[128];  // TOKEN_USER with its SID (at most 76 bytes)
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, userBuffer, sizeof userBuffer, &size)) return GetLastError();
  const auto* user = reinterpret_cast<const TOKEN_USER*>(userBuffer);
  win::Desktop desk(OpenDesktopA(desktop, 0, FALSE, READ_CONTROL | WRITE_DAC));
  if (!desk) return GetLastError();
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  DWORD e = GetSecurityInfo(desk.get(), SE_WINDOW_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &sd);
  // No DACL lets everyone in: a grant would make one that shuts out everyone else.
  if (e == ERROR_SUCCESS && dacl) {
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = kShellDesktopRights;
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
  return e;
}

// Starts the shell with `token` as its user. CreateProcessAsUser takes a restricted twin of this
// program's own token without the assign-primary privilege; the ordinary shell's token goes
// through CreateProcessWithToken, which the elevated copy may call.
DWORD StartShellAs(HANDLE token, bool limited, const char* desktop, const ShellPath& shellPath, win::Handle* explorer) {
  wchar_t shell[] = L"explorer";  // CreateProcess may write to its command line
  DesktopPath desktopPath = InteractiveDesktop(desktop);
  win::WideText<MAX_PATH + 1> folder;
  const wchar_t* startFolder = WindowsFolder(folder) == 0 ? folder.c_str() : nullptr;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.lpDesktop = desktopPath.Buffer();
  PROCESS_INFORMATION pi{};
  if (const DWORD error = GrantDesktopTo(desktop, token)) return error;
  const BOOL started =
      limited ? CreateProcessAsUserW(token, shellPath.c_str(), shell, nullptr, nullptr, FALSE, kStartFlags, nullptr,
                                     startFolder, &si, &pi)
              : CreateProcessWithTokenW(token, 0, shellPath.c_str(), shell, kStartFlags, nullptr, startFolder, &si,
                                        &pi);
  if (!started) return GetLastError();
  const win::Handle thread(pi.hThread);
  explorer->reset(pi.hProcess);
  return 0;
}

// Whether the system's explorer runs in this session: with no shell window yet, the user's shell
// is on its way (logon, or explorer restarting).
bool ExplorerRunsInSession() {
  ShellPath expected;
  DWORD session = 0;
  if (SystemExplorerPath(expected) != 0 || !ProcessIdToSessionId(GetCurrentProcessId(), &session)) return false;
  const win::Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) return false;
  do {
    DWORD itsSession = 0;
    if (lstrcmpiW(entry.szExeFile, L"explorer.exe") != 0 || !ProcessIdToSessionId(entry.th32ProcessID, &itsSession) ||
        itsSession != session)
      continue;
    const win::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    win::WideText<MAX_PATH + 1> image;
    DWORD length = MAX_PATH + 1;
    if (process && QueryFullProcessImageNameW(process.get(), 0, image.Buffer(), &length)) {
      image.SetLength(length);
      if (lstrcmpiW(image.c_str(), expected.c_str()) == 0) return true;
    }
  } while (Process32NextW(snapshot.get(), &entry));
  return false;
}

}  // namespace

ShellPlan PlanShell(unsigned long long waitedMs) {
  ShellPlan plan;
  const bool split = SelfSplitElevated();
  HWND shell = split ? GetShellWindow() : nullptr;
  win::Handle token(shell ? ShellToken(shell) : nullptr);
  const bool usable = token && !TokenElevated(token.get());
  plan.launch = ChooseShellLaunch(split, shell != nullptr, usable, split && !shell && ExplorerRunsInSession(), waitedMs);
  if (plan.launch == ShellLaunch::UsersToken) plan.usersToken = std::move(token);
  return plan;
}

ShellStart StartShell(const char* desktop, const ShellPlan& plan, win::Handle* explorer) {
  ShellStart result;
  result.launch = plan.launch;
  ShellPath shellPath;
  wchar_t shell[] = L"explorer";  // CreateProcessW may write to its command line
  if ((result.error = SystemExplorerPath(shellPath)) != 0) return result;
  switch (plan.launch) {
    case ShellLaunch::Wait:
      result.error = ERROR_INVALID_FUNCTION;  // never asked for: a waiting shell is not started
      return result;
    case ShellLaunch::OwnToken:
      result.error = StartOnDesktop(shellPath.c_str(), shell, desktop, explorer);
      return result;
    case ShellLaunch::UsersToken:
      result.usersTokenError = StartShellAs(plan.usersToken.get(), false, desktop, shellPath, explorer);
      if (result.usersTokenError == 0) return result;
      result.launch = ShellLaunch::LimitedToken;
      break;
    case ShellLaunch::LimitedToken:
      break;
  }
  // Never this program's own elevated token: a shell that cannot be limited does not start.
  win::Handle limited;
  result.error = LimitedToken(&limited);
  if (result.error == 0) result.error = StartShellAs(limited.get(), true, desktop, shellPath, explorer);
  return result;
}

namespace {

struct ShellSearch {
  ShellPath expected;
  HANDLE found = nullptr;
};

BOOL CALLBACK TakeShellWindow(HWND wnd, LPARAM param) {
  auto* search = reinterpret_cast<ShellSearch*>(param);
  win::WideText<257> className;  // class names are at most 256 characters
  className.SetLength(static_cast<size_t>(GetClassNameW(wnd, className.Buffer(), 257)));
  DWORD pid = 0;
  if (className.empty() || !GetWindowThreadProcessId(wnd, &pid)) return TRUE;
  if (!IsShellWindowClass(className.c_str())) return TRUE;
  win::Handle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  win::WideText<MAX_PATH + 1> image;
  DWORD length = MAX_PATH + 1;
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, image.Buffer(), &length)) return TRUE;
  image.SetLength(length);
  // A live shell only: one that is ending leaves its windows for a moment.
  if (!IsShellWindow(className.c_str(), image.c_str(), search->expected.c_str()) ||
      WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT)
    return TRUE;
  search->found = process.release();
  return FALSE;
}

}  // namespace

HANDLE FindShellOn(const wchar_t* desktop) {
  ShellSearch search;
  if (SystemExplorerPath(search.expected) != 0) return nullptr;
  win::Desktop desk(OpenDesktopW(desktop, 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE));
  if (desk) EnumDesktopWindows(desk.get(), TakeShellWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

namespace {

using ImagePath = win::WideText<MAX_PATH + 1>;

struct Enumeration {
  UserWork work;
  ImagePath self;
};

// The image path of a process; empty when it cannot be read.
ImagePath ImageOf(HANDLE process) {
  ImagePath path;
  DWORD length = MAX_PATH;
  if (process && QueryFullProcessImageNameW(process, 0, path.Buffer(), &length)) path.SetLength(length);
  return path;
}

// Whether the window manager keeps the window out of sight (a suspended store app, a window of
// another virtual desktop). DwmGetWindowAttribute is looked up, not linked: Windows 7 must start,
// and it knows no cloaking anyway. dwmapi.dll by full path, from the system folder only.
bool Cloaked(HWND wnd) {
  using GetAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, PVOID, DWORD);
  constexpr DWORD kCloakedAttribute = 14;  // DWMWA_CLOAKED, Windows 8 and later
  // Initialised at run time without a guard: only the UI thread asks for the user's windows.
  static const GetAttributeFn getAttribute = []() -> GetAttributeFn {
    win::WideText<MAX_PATH + 16> path;
    const UINT length = GetSystemDirectoryW(path.Buffer(), MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return nullptr;
    path.SetLength(length);
    path.Append(L"\\dwmapi.dll");
    const HMODULE dwm = LoadLibraryW(path.c_str());  // kept for the process's life
    return dwm ? reinterpret_cast<GetAttributeFn>(
                     reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")))
               : nullptr;
  }();
  DWORD cloaked = 0;
  return getAttribute && SUCCEEDED(getAttribute(wnd, kCloakedAttribute, &cloaked, sizeof cloaked)) && cloaked != 0;
}

bool HasFileName(const ImagePath& path, const wchar_t* name) {
  const wchar_t* slash = wcsrchr(path.c_str(), L'\\');
  return lstrcmpiW(slash ? slash + 1 : path.c_str(), name) == 0;
}

BOOL CALLBACK CollectUserWindow(HWND wnd, LPARAM param) {
  auto* e = reinterpret_cast<Enumeration*>(param);
  DeskWindowFacts facts;
  // The style bit, not IsWindowVisible: nothing on a desktop that is not shown counts as visible.
  facts.visibleStyle = (GetWindowLongW(wnd, GWL_STYLE) & WS_VISIBLE) != 0;
  if (!facts.visibleStyle) return TRUE;
  // GetWindowText reads the title the system keeps, so a hung program cannot stall the exit.
  win::WideText<256> title;
  title.SetLength(static_cast<size_t>(GetWindowTextW(wnd, title.Buffer(), 256)));
  facts.titled = !title.empty();
  facts.owned = GetWindow(wnd, GW_OWNER) != nullptr;
  const LONG exStyle = GetWindowLongW(wnd, GWL_EXSTYLE);
  facts.appWindow = (exStyle & WS_EX_APPWINDOW) != 0;
  facts.toolWindow = (exStyle & WS_EX_TOOLWINDOW) != 0;
  facts.cloaked = Cloaked(wnd);
  win::WideText<257> className;  // class names are at most 256 characters
  className.SetLength(static_cast<size_t>(GetClassNameW(wnd, className.Buffer(), 257)));
  facts.className = className.c_str();
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  const win::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  const ImagePath image = ImageOf(process.get());
  facts.ofThisProgram =
      pid == GetCurrentProcessId() || (!image.empty() && lstrcmpiW(image.c_str(), e->self.c_str()) == 0);
  facts.ofShell = !image.empty() && HasFileName(image, L"explorer.exe");
  if (IsUserWindow(facts)) e->work.Add(title.c_str(), facts.ofShell);
  return TRUE;
}

}  // namespace

UserWork FindUserWork() {
  Enumeration e;
  e.self = ImageOf(GetCurrentProcess());
  win::Desktop desk(OpenDesktopW(kNewDesktopNameW, 0, FALSE,
                                 DESKTOP_READOBJECTS | DESKTOP_ENUMERATE));
  if (desk) EnumDesktopWindows(desk.get(), CollectUserWindow, reinterpret_cast<LPARAM>(&e));
  return e.work;
}
