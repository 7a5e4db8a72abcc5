// Test driver for the integration tests: a console program that the scripts run under Wine as
// `tolva_driver.exe <command> ...` to look at and poke the program's windows, events and process.
// Results go to stdout as UTF-8; the exit code is 0 when the command did its job, 3 when the window,
// event or process it names does not exist, 1 when a call failed (the answer is unknown), 2 on a
// usage error: a caller never takes a failed call for an absent object. On stderr it says "driver ran" as its first
// act and "driver done <exit code>" as its last: a caller that finds the first line missing knows
// Wine never started it (a loader failure), and one that finds the last missing knows the process
// ended before the command did, whatever its exit code says.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "win/handles.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kNotFound = 3;

// Generous: the program's UI thread may be busy in a start-up step (it sleeps 1 s there).
constexpr UINT kSendTimeoutMs = 30000;

// Writes bytes straight to the handle: no C runtime buffering or text-mode CRLF, so a caller that
// waits for a line (hold-hotkey) gets it at once and window texts arrive unchanged.
void Write(const std::string& bytes) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (out && out != INVALID_HANDLE_VALUE && !bytes.empty())
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WriteLine(const std::string& line) { Write(line + "\n"); }

std::string Format(const char* format, ...) {
  char buffer[512];  // every formatted line here is a few numbers and words
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// Window texts are printed as UTF-8.
std::string ToUtf8(const wchar_t* text, int length) {
  if (!text || length <= 0) return std::string();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], bytes, nullptr, nullptr);
  return out;
}

std::string Utf8(const std::wstring& text) { return ToUtf8(text.c_str(), static_cast<int>(text.size())); }

// Numbers on the command line: decimal, or hex with 0x; negative decimals for signed values.
bool ParseNumber(const wchar_t* text, unsigned long long* value) {
  if (!text || !*text) return false;
  wchar_t* end = nullptr;
  const bool negative = text[0] == L'-';
  if (negative) {
    *value = static_cast<unsigned long long>(std::wcstoll(text, &end, 10));
  } else {
    *value = std::wcstoull(text, &end, 0);
  }
  return end && *end == L'\0';
}

bool ParseHwnd(const wchar_t* text, HWND* hwnd) {
  unsigned long long value = 0;
  if (!ParseNumber(text, &value)) return false;
  *hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
  return true;
}

std::string HwndText(HWND hwnd) { return Format("0x%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwnd))); }

std::wstring WindowTitle(HWND hwnd) {
  wchar_t title[512];  // titles compared here are short; longer ones simply do not match
  const int length = GetWindowTextW(hwnd, title, static_cast<int>(sizeof title / sizeof title[0]));
  return std::wstring(title, length > 0 ? length : 0);
}

// Top-level windows of the current desktop, or of the named one (FindWindow does not see other
// desktops). kNotFound when there is no such desktop, kFailed when it could not be listed: an empty
// list would claim every window absent.
int TopLevelWindows(const wchar_t* desktopName, std::vector<HWND>* windows) {
  auto collect = [](HWND hwnd, LPARAM param) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
  };
  if (!desktopName) return EnumWindows(collect, reinterpret_cast<LPARAM>(windows)) ? kOk : kFailed;
  win::Desktop desktop(OpenDesktopW(desktopName, 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE));
  if (!desktop) return GetLastError() == ERROR_FILE_NOT_FOUND ? kNotFound : kFailed;
  return EnumDesktopWindows(desktop.get(), collect, reinterpret_cast<LPARAM>(windows)) ? kOk : kFailed;
}

int CmdFind(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  unsigned long long timeoutMs = 10000;
  if (argc >= 2 && !ParseNumber(argv[1], &timeoutMs)) return kUsage;
  const wchar_t* desktop = argc >= 3 ? argv[2] : nullptr;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  // Polled here rather than by the caller: starting wine64 once per try costs far more.
  for (;;) {
    std::vector<HWND> windows;
    const int listed = TopLevelWindows(desktop, &windows);
    if (listed == kFailed) return kFailed;
    for (HWND hwnd : windows) {
      if (WindowTitle(hwnd) == argv[0]) {
        WriteLine(HwndText(hwnd));
        return kOk;
      }
    }
    if (GetTickCount64() >= deadline) return kNotFound;
    Sleep(50);
  }
}

// The window HWND [CTRL-ID] names: kOk, kUsage, or kNotFound when it is not (or no longer) there.
int Target(int argc, wchar_t** argv, HWND* out) {
  HWND hwnd = nullptr;
  *out = nullptr;
  if (argc < 1 || !ParseHwnd(argv[0], &hwnd)) return kUsage;
  if (argc >= 2) {
    unsigned long long id = 0;
    if (!ParseNumber(argv[1], &id)) return kUsage;
    hwnd = IsWindow(hwnd) ? GetDlgItem(hwnd, static_cast<int>(id)) : nullptr;
  }
  if (!IsWindow(hwnd)) return kNotFound;
  *out = hwnd;
  return kOk;
}

// A window call that failed on a window that went meanwhile found nothing; any other failed.
int WindowFailure(HWND hwnd) { return IsWindow(hwnd) ? kFailed : kNotFound; }

// WM_GETTEXT rather than GetWindowText: an edit control's text lives in its own process.
int CmdText(int argc, wchar_t** argv) {
  HWND hwnd;
  if (const int rc = Target(argc, argv, &hwnd)) return rc;
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length))
    return WindowFailure(hwnd);
  std::vector<wchar_t> text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                           kSendTimeoutMs, &copied))
    return WindowFailure(hwnd);
  Write(ToUtf8(text.data(), static_cast<int>(copied)));  // exactly the text, no line end added
  return kOk;
}

int CmdRect(int argc, wchar_t** argv) {
  HWND hwnd;
  if (const int rc = Target(argc, argv, &hwnd)) return rc;
  RECT rect;
  if (!GetWindowRect(hwnd, &rect)) return WindowFailure(hwnd);
  WriteLine(Format("%ld %ld %ld %ld", rect.left, rect.top, rect.right, rect.bottom));
  return kOk;
}

int CmdLong(int argc, wchar_t** argv, int index) {
  HWND hwnd;
  if (const int rc = Target(argc, argv, &hwnd)) return rc;
  WriteLine(Format("0x%lx", static_cast<unsigned long>(GetWindowLongW(hwnd, index))));
  return kOk;
}

int CmdVisible(int argc, wchar_t** argv) {
  HWND hwnd;
  if (const int rc = Target(argc, argv, &hwnd)) return rc;
  WriteLine(IsWindowVisible(hwnd) ? "1" : "0");
  return kOk;
}

int CmdPid(int argc, wchar_t** argv) {
  HWND hwnd;
  if (const int rc = Target(argc, argv, &hwnd)) return rc;
  DWORD pid = 0;
  if (!GetWindowThreadProcessId(hwnd, &pid)) return WindowFailure(hwnd);
  WriteLine(Format("%lu", pid));
  return kOk;
}

// A child control's own handle, for messages posted straight to it.
int CmdChild(int argc, wchar_t** argv) {
  if (argc < 2) return kUsage;
  HWND hwnd;
  if (const int rc = Target(argc, argv, &hwnd)) return rc;
  WriteLine(HwndText(hwnd));
  return kOk;
}

// The keyboard focus of the thread that owns the window (GetFocus only sees the caller's thread).
int CmdFocus(int argc, wchar_t** argv) {
  HWND hwnd;
  if (const int rc = Target(argc, argv, &hwnd)) return rc;
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info)) return WindowFailure(hwnd);
  if (!info.hwndFocus) return kNotFound;  // the thread's windows hold no focus
  WriteLine(HwndText(info.hwndFocus));
  return kOk;
}

bool ParseMessage(int argc, wchar_t** argv, HWND* hwnd, UINT* msg, WPARAM* wparam, LPARAM* lparam) {
  unsigned long long m = 0, w = 0, l = 0;
  if (argc < 4 || !ParseHwnd(argv[0], hwnd) || !ParseNumber(argv[1], &m) || !ParseNumber(argv[2], &w) ||
      !ParseNumber(argv[3], &l))
    return false;
  *msg = static_cast<UINT>(m);
  *wparam = static_cast<WPARAM>(w);
  *lparam = static_cast<LPARAM>(l);
  return true;
}

int Send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs, &result)) {
    WriteLine(Format("failed %lu", GetLastError()));
    return WindowFailure(hwnd);
  }
  WriteLine(Format("%lld", static_cast<long long>(static_cast<LRESULT>(result))));
  return kOk;
}

int CmdSend(int argc, wchar_t** argv) {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  if (!ParseMessage(argc, argv, &hwnd, &msg, &wparam, &lparam)) return kUsage;
  return Send(hwnd, msg, wparam, lparam);
}

int CmdPost(int argc, wchar_t** argv) {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  if (!ParseMessage(argc, argv, &hwnd, &msg, &wparam, &lparam)) return kUsage;
  return PostMessageW(hwnd, msg, wparam, lparam) ? kOk : WindowFailure(hwnd);
}

// Sends MSG with WPARAM and, as LPARAM, the address of a RECT in the window's own process, as the
// system sends WM_DPICHANGED with its suggested rectangle: written there, sent, freed.
int CmdSendRect(int argc, wchar_t** argv) {
  HWND hwnd = nullptr;
  unsigned long long m = 0, w = 0, edges[4] = {};
  if (argc < 7 || !ParseHwnd(argv[0], &hwnd) || !ParseNumber(argv[1], &m) || !ParseNumber(argv[2], &w))
    return kUsage;
  for (int i = 0; i < 4; ++i)
    if (!ParseNumber(argv[3 + i], &edges[i])) return kUsage;
  const RECT rect = {static_cast<LONG>(edges[0]), static_cast<LONG>(edges[1]), static_cast<LONG>(edges[2]),
                     static_cast<LONG>(edges[3])};
  DWORD pid = 0;
  if (!IsWindow(hwnd) || !GetWindowThreadProcessId(hwnd, &pid)) return kNotFound;
  win::Handle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return kFailed;
  void* remote = VirtualAllocEx(process.get(), nullptr, sizeof rect, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return kFailed;
  int rc = kFailed;
  SIZE_T written = 0;
  // A 32-bit program gets the low half of the address: there it must lie below 4 GiB.
  BOOL wow64 = FALSE;
  const bool reachable = IsWow64Process(process.get(), &wow64) &&
                         (!wow64 || reinterpret_cast<ULONG_PTR>(remote) <= 0xFFFFFFFFu);
  if (reachable &&
      WriteProcessMemory(process.get(), remote, &rect, sizeof rect, &written) && written == sizeof rect)
    rc = Send(hwnd, static_cast<UINT>(m), static_cast<WPARAM>(w), reinterpret_cast<LPARAM>(remote));
  VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
  return rc;
}

// Registered messages such as "TaskbarCreated": argv[1] is the name instead of a number.
int CmdRegistered(int argc, wchar_t** argv, bool post) {
  HWND hwnd = nullptr;
  unsigned long long w = 0, l = 0;
  if (argc < 4 || !ParseHwnd(argv[0], &hwnd) || !ParseNumber(argv[2], &w) || !ParseNumber(argv[3], &l))
    return kUsage;
  const UINT msg = RegisterWindowMessageW(argv[1]);
  if (!msg) return kFailed;
  if (post)
    return PostMessageW(hwnd, msg, static_cast<WPARAM>(w), static_cast<LPARAM>(l)) ? kOk : WindowFailure(hwnd);
  return Send(hwnd, msg, static_cast<WPARAM>(w), static_cast<LPARAM>(l));
}

// Moves a top-level window as a user dragging it would, size and z-order unchanged.
int CmdMove(int argc, wchar_t** argv) {
  HWND hwnd = nullptr;
  unsigned long long x = 0, y = 0;
  if (argc < 3 || !ParseHwnd(argv[0], &hwnd) || !ParseNumber(argv[1], &x) || !ParseNumber(argv[2], &y))
    return kUsage;
  return SetWindowPos(hwnd, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
             ? kOk
             : WindowFailure(hwnd);
}

int CmdClick(int argc, wchar_t** argv) {
  if (argc < 2) return kUsage;
  HWND button;
  if (const int rc = Target(argc, argv, &button)) return rc;
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &result)) return kOk;
  // A click that closes the dialog may take the button with it before the answer comes back.
  return IsWindow(button) ? kFailed : kOk;
}

int CmdSignal(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  win::Handle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[0]));
  if (!event) return GetLastError() == ERROR_FILE_NOT_FOUND ? kNotFound : kFailed;
  return SetEvent(event.get()) ? kOk : kFailed;
}

int CmdEventExists(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  win::Handle event(OpenEventW(SYNCHRONIZE, FALSE, argv[0]));
  if (event) return kOk;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND) return kNotFound;
  WriteLine(Format("failed %lu", error));  // e.g. denied: it may exist, so no answer
  return kFailed;
}

// Holds a hot key so the program finds it taken. Says "held" at once so the caller can go on.
int CmdHoldHotkey(int argc, wchar_t** argv) {
  unsigned long long mods = 0, vk = 0, ms = 0;
  if (argc < 3 || !ParseNumber(argv[0], &mods) || !ParseNumber(argv[1], &vk) || !ParseNumber(argv[2], &ms))
    return kUsage;
  if (!RegisterHotKey(nullptr, 1, static_cast<UINT>(mods), static_cast<UINT>(vk))) {
    WriteLine(Format("failed %lu", GetLastError()));
    return kFailed;
  }
  WriteLine("held");
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return kOk;
}

// Starts EXE (suspended), then opens its file for reading with no sharing, so only the running
// program finds it unreadable (held before the start, the loader itself could not open it), and
// lets it run with the file held for at most MS ms. Prints "held" (or "failed <error>"), then the
// program's exit code, or "running" if it still runs then (it is left running).
int CmdStartLocked(int argc, wchar_t** argv) {
  unsigned long long ms = 0;
  if (argc < 2 || !ParseNumber(argv[1], &ms)) return kUsage;
  std::wstring commandLine = L"\"" + std::wstring(argv[0]) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(argv[0], &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                      &info)) {
    WriteLine(Format("failed start %lu", GetLastError()));
    return kFailed;
  }
  win::Handle process(info.hProcess);
  win::Handle thread(info.hThread);
  win::Handle file(CreateFileW(argv[0], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  WriteLine(file ? std::string("held") : Format("failed %lu", GetLastError()));
  ResumeThread(thread.get());
  DWORD code = 0;
  if (WaitForSingleObject(process.get(), static_cast<DWORD>(ms)) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(process.get(), &code))
    WriteLine(Format("%lu", code));
  else
    WriteLine("running");
  return file ? kOk : kFailed;
}

// Gives a registry key (created if missing) the DACL written in SDDL, e.g. "D:P(A;;KR;;;WD)" for
// read-only, so a test can take write access away. KEY starts with HKLM\ or HKCU\; VIEW 32 or 64
// names the registry view (default: the driver's own, 64).
int CmdRegDacl(int argc, wchar_t** argv) {
  if (argc < 2) return kUsage;
  REGSAM view = 0;
  if (argc >= 3) {
    if (lstrcmpW(argv[2], L"32") == 0) view = KEY_WOW64_32KEY;
    else if (lstrcmpW(argv[2], L"64") == 0) view = KEY_WOW64_64KEY;
    else return kUsage;
  }
  const std::wstring path = argv[0];
  HKEY root = nullptr;
  if (path.rfind(L"HKLM\\", 0) == 0) root = HKEY_LOCAL_MACHINE;
  else if (path.rfind(L"HKCU\\", 0) == 0) root = HKEY_CURRENT_USER;
  else return kUsage;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(argv[1], SDDL_REVISION_1, &sd, nullptr)) return kUsage;
  HKEY key = nullptr;
  // The owner may always change the DACL, whatever the old one says.
  LONG result = RegCreateKeyExW(root, path.c_str() + 5, 0, nullptr, 0, WRITE_DAC | view, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    RegCloseKey(key);
  }
  LocalFree(sd);
  if (result != ERROR_SUCCESS) {
    WriteLine(Format("failed %ld", result));
    return kFailed;
  }
  return kOk;
}

// Starts COMMAND-LINE on the named desktop (STARTUPINFO.lpDesktop), as a user opens a program
// there; prints the new process's id. The process is left running.
int CmdStartOn(int argc, wchar_t** argv) {
  if (argc < 2) return kUsage;
  std::wstring desktop = argv[0];
  std::wstring commandLine = argv[1];
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = &desktop[0];
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    WriteLine(Format("failed %lu", GetLastError()));
    return kFailed;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  WriteLine(Format("%lu", info.dwProcessId));
  return kOk;
}

int CmdClass(int argc, wchar_t** argv) {
  HWND hwnd;
  if (const int rc = Target(argc, argv, &hwnd)) return rc;
  wchar_t name[256];  // class names are at most 256 characters
  if (!GetClassNameW(hwnd, name, 256)) return WindowFailure(hwnd);
  WriteLine(Utf8(name));
  return kOk;
}

// Processes whose image name matches, case-insensitively as Windows compares file names; false
// when the snapshot failed (a list would claim processes absent).
bool ProcessesNamed(const wchar_t* exeName, std::vector<DWORD>* pids) {
  win::Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  if (!Process32FirstW(snapshot.get(), &entry)) return false;  // never empty: this process is in it
  do {
    if (lstrcmpiW(entry.szExeFile, exeName) == 0) pids->push_back(entry.th32ProcessID);
  } while (Process32NextW(snapshot.get(), &entry));
  return true;
}

int CmdProcs(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  std::vector<DWORD> pids;
  if (!ProcessesNamed(argv[0], &pids)) return kFailed;
  WriteLine(Format("%zu", pids.size()));
  return kOk;
}

int CmdKill(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  std::vector<DWORD> pids;
  if (!ProcessesNamed(argv[0], &pids)) return kFailed;
  if (pids.empty()) return kNotFound;
  int killed = 0;
  for (DWORD pid : pids) {
    win::Handle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (process && TerminateProcess(process.get(), 1)) ++killed;
  }
  WriteLine(Format("%d", killed));
  return killed > 0 ? kOk : kFailed;
}

win::Handle OpenPid(const wchar_t* text, DWORD access) {
  unsigned long long pid = 0;
  if (!ParseNumber(text, &pid)) return win::Handle();
  return win::Handle(OpenProcess(access, FALSE, static_cast<DWORD>(pid)));
}

// Ends one process from outside, as a crash or the task manager would.
int CmdKillPid(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  win::Handle process = OpenPid(argv[0], PROCESS_TERMINATE);
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER ? kNotFound : kFailed;  // no such pid
  return TerminateProcess(process.get(), 1) ? kOk : kFailed;
}

// GetProcessHandleCount is a stub under Wine: count the handle values that duplicate successfully.
int CmdHandles(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  unsigned long long limit = 16384;
  if (argc >= 2 && !ParseNumber(argv[1], &limit)) return kUsage;
  win::Handle process = OpenPid(argv[0], PROCESS_DUP_HANDLE);
  if (!process) return kFailed;
  int count = 0;
  for (ULONG_PTR value = 4; value <= limit; value += 4) {
    HANDLE copy = nullptr;
    if (DuplicateHandle(process.get(), reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
      ++count;
      CloseHandle(copy);
    }
  }
  WriteLine(Format("%d", count));
  return kOk;
}

int CmdGdi(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  win::Handle process = OpenPid(argv[0], PROCESS_QUERY_INFORMATION);
  if (!process) return kFailed;
  WriteLine(Format("gdi %lu\nuser %lu", GetGuiResources(process.get(), GR_GDIOBJECTS),
                   GetGuiResources(process.get(), GR_USEROBJECTS)));
  return kOk;
}

// GetGuiResources always answers 0 under Wine. Wine keeps each process's GDI handle table in that
// process's own memory (the PEB's GdiSharedHandleTable): entries of 24 bytes, the type byte at 14,
// zero when the slot is free. Every used slot belongs to the process, stock objects included.
int CmdGdiCount(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  win::Handle process = OpenPid(argv[0], PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
  if (!process) return kFailed;
  using QueryFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  struct {
    PVOID exitStatus, pebBaseAddress, affinityMask, basePriority, processId, parentProcessId;
  } basic = {};
  ULONG length = 0;
  if (!query || query(process.get(), 0 /* ProcessBasicInformation */, &basic, sizeof basic, &length) != 0)
    return kFailed;
  const SIZE_T tableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
  ULONG_PTR table = 0;
  SIZE_T got = 0;
  if (!ReadProcessMemory(process.get(), static_cast<char*>(basic.pebBaseAddress) + tableOffset, &table,
                         sizeof table, &got) || !table)
    return kFailed;
  constexpr size_t kEntry = 24, kEntries = 0x10000, kChunk = 4096;
  std::vector<unsigned char> chunk(kEntry * kChunk);
  int count = 0;
  for (size_t first = 0; first < kEntries; first += kChunk) {
    if (!ReadProcessMemory(process.get(), reinterpret_cast<void*>(table + first * kEntry), chunk.data(),
                           chunk.size(), &got))
      break;  // the rest of the table is not mapped
    for (size_t i = 0; i < kChunk; ++i) count += chunk[i * kEntry + 14] != 0;
  }
  WriteLine(Format("%d", count));
  return kOk;
}

// Repaints a window and its children N times, each time at once (not left for the message loop).
int CmdRedraw(int argc, wchar_t** argv) {
  HWND hwnd = nullptr;
  unsigned long long times = 1;
  if (argc < 1 || !ParseHwnd(argv[0], &hwnd) || (argc >= 2 && !ParseNumber(argv[1], &times))) return kUsage;
  for (unsigned long long i = 0; i < times; ++i)
    if (!RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN)) return kFailed;
  return kOk;
}

int CmdMem(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  win::Handle process = OpenPid(argv[0], PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
  PROCESS_MEMORY_COUNTERS counters = {};
  if (!process || !GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) return kFailed;
  WriteLine(Format("%zu", counters.WorkingSetSize));
  return kOk;
}

int CmdMetrics() {
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  WriteLine(Format("cxfullscreen %d\ncyfullscreen %d\ncycaption %d\nworkarea %ld %ld %ld %ld",
                   GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN),
                   GetSystemMetrics(SM_CYCAPTION), work.left, work.top, work.right, work.bottom));
  return kOk;
}

// The ANSI code page Wine chose for this environment (from LC_ALL): 936 or 1252 in the tests.
int CmdAcp() {
  WriteLine(Format("%u", GetACP()));
  return kOk;
}

// With no arguments prints where the pointer is; with X Y moves it there.
int CmdCursor(int argc, wchar_t** argv) {
  if (argc >= 2) {
    unsigned long long x = 0, y = 0;
    if (!ParseNumber(argv[0], &x) || !ParseNumber(argv[1], &y)) return kUsage;
    if (!SetCursorPos(static_cast<int>(x), static_cast<int>(y))) return kFailed;
  }
  POINT point;
  if (!GetCursorPos(&point)) return kFailed;
  WriteLine(Format("%ld %ld", point.x, point.y));
  return kOk;
}

int CmdWindows(int argc, wchar_t** argv) {
  std::vector<HWND> windows;
  if (const int rc = TopLevelWindows(argc >= 1 ? argv[0] : nullptr, &windows)) return rc;
  for (HWND hwnd : windows) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    WriteLine(HwndText(hwnd) + Format(" %lu %d ", pid, IsWindowVisible(hwnd) ? 1 : 0) + Utf8(WindowTitle(hwnd)));
  }
  return kOk;
}

// How many tooltip windows (comctl32's class) process PID has on the current or the named desktop,
// and the number of tools each knows, one line per window.
int CmdTooltips(int argc, wchar_t** argv) {
  unsigned long long pid = 0;
  if (argc < 1 || !ParseNumber(argv[0], &pid)) return kUsage;
  std::vector<HWND> windows;
  if (const int rc = TopLevelWindows(argc >= 2 ? argv[1] : nullptr, &windows)) return rc;
  int found = 0;
  for (HWND hwnd : windows) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    wchar_t name[64];
    if (owner != pid || !GetClassNameW(hwnd, name, 64) || std::wcscmp(name, TOOLTIPS_CLASSW) != 0) continue;
    DWORD_PTR tools = 0;
    if (!SendMessageTimeoutW(hwnd, TTM_GETTOOLCOUNT, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &tools)) {
      if (IsWindow(hwnd)) return kFailed;
      continue;  // gone meanwhile
    }
    WriteLine(HwndText(hwnd) + Format(" %lu", static_cast<unsigned long>(tools)));
    ++found;
  }
  return found ? kOk : kNotFound;
}

// Stands in for a program the shell starts (the browser): appends its arguments, tab-separated,
// as one UTF-8 line to FILE.
int CmdRecord(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? "\t" : "") + Utf8(argv[i]);
  line += "\n";
  win::Handle file(CreateFileW(argv[0], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) return kFailed;
  return kOk;
}

// Creates a named auto-reset event and holds it MS ms, so that the program finds it existing.
// With SDDL the event gets that security descriptor, e.g. one that closes it to others as an
// elevated process's event is closed to a normal one. Says "held", or "existed" when the event
// was there already.
int CmdHoldEvent(int argc, wchar_t** argv) {
  unsigned long long ms = 0;
  if (argc < 2 || !ParseNumber(argv[1], &ms)) return kUsage;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
  if (argc >= 3 &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(argv[2], SDDL_REVISION_1, &sa.lpSecurityDescriptor,
                                                            nullptr))
    return kUsage;
  win::Handle event(CreateEventW(sa.lpSecurityDescriptor ? &sa : nullptr, FALSE, FALSE, argv[0]));
  const DWORD error = GetLastError();
  if (sa.lpSecurityDescriptor) LocalFree(sa.lpSecurityDescriptor);
  if (!event) {
    WriteLine(Format("failed %lu", error));
    return kFailed;
  }
  WriteLine(error == ERROR_ALREADY_EXISTS ? "existed" : "held");
  Sleep(static_cast<DWORD>(ms));
  return kOk;
}

bool ReadWindowText(HWND hwnd, std::wstring* text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length)) return false;
  std::vector<wchar_t> buffer(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL,
                           kSendTimeoutMs, &copied))
    return false;
  text->assign(buffer.data(), copied);
  return true;
}

// Reads a window's text over and over until the window is gone (or TIMEOUT_MS passed), then
// writes the last text read to FILE as UTF-8: what a log showed just before its program ended.
// Says "watching" after the first read.
int CmdLastText(int argc, wchar_t** argv) {
  unsigned long long timeoutMs = 60000;
  if (argc < 3 || (argc >= 4 && !ParseNumber(argv[3], &timeoutMs))) return kUsage;
  HWND hwnd;
  if (const int rc = Target(2, argv, &hwnd)) return rc;
  std::wstring last;
  if (!ReadWindowText(hwnd, &last)) return WindowFailure(hwnd);
  WriteLine("watching");
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::wstring text;
  // A read waits while the program's UI thread is busy and is answered whenever it next takes
  // sent messages, so one is pending at every moment the text can still be read.
  while (IsWindow(hwnd) && GetTickCount64() < deadline) {
    if (ReadWindowText(hwnd, &text)) last = text;
    Sleep(1);
  }
  const std::string bytes = Utf8(last);
  win::Handle file(CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    return kFailed;
  return IsWindow(hwnd) ? kFailed : kOk;
}

// Sends several messages from one process, so that nothing of the program's own (a timer tick)
// is likely to come between them as it could between separate driver runs. TARGET is a window
// handle, or the title of a top-level window to wait for (30 s); MSG is a number or the name of
// a registered message. Prints each result on its own line.
int CmdSends(int argc, wchar_t** argv) {
  if (argc < 4 || (argc - 1) % 3 != 0) return kUsage;
  struct Message {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
  };
  std::vector<Message> messages;
  for (int i = 1; i < argc; i += 3) {
    unsigned long long m = 0, w = 0, l = 0;
    if (!ParseNumber(argv[i + 1], &w) || !ParseNumber(argv[i + 2], &l)) return kUsage;
    if (!ParseNumber(argv[i], &m)) m = RegisterWindowMessageW(argv[i]);
    if (!m) return kFailed;
    messages.push_back({static_cast<UINT>(m), static_cast<WPARAM>(w), static_cast<LPARAM>(l)});
  }
  HWND hwnd = nullptr;
  if (!ParseHwnd(argv[0], &hwnd)) {
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (!hwnd) {
      std::vector<HWND> windows;
      if (TopLevelWindows(nullptr, &windows) != kOk) return kFailed;
      for (HWND candidate : windows)
        if (WindowTitle(candidate) == argv[0]) hwnd = candidate;
      if (!hwnd && GetTickCount64() >= deadline) return kNotFound;
      if (!hwnd) Sleep(10);
    }
  }
  for (const Message& m : messages)
    if (const int rc = Send(hwnd, m.msg, m.wparam, m.lparam)) return rc;
  return kOk;
}

// Whether one of the strings that the tooltip's own data points to is `title`. Wine's tooltip
// answers no title query, and its data lives in the shell's process, so this reads it there.
bool TooltipHasTitle(HWND tip, const std::wstring& title) {
  DWORD pid = 0;
  GetWindowThreadProcessId(tip, &pid);
  win::Handle process(OpenProcess(PROCESS_VM_READ, FALSE, pid));
  const ULONG_PTR data = static_cast<ULONG_PTR>(GetWindowLongPtrW(tip, 0));
  if (!process || !data) return false;
  // The control's data: its tip text buffer (1024 characters) and its fields, read in pieces
  // since the block may end before a page does.
  constexpr size_t kDataBytes = 4096, kPiece = 256;
  std::vector<ULONG_PTR> words;
  for (size_t offset = 0; offset < kDataBytes; offset += kPiece) {
    ULONG_PTR piece[kPiece / sizeof(ULONG_PTR)];
    SIZE_T read = 0;
    if (!ReadProcessMemory(process.get(), reinterpret_cast<const void*>(data + offset), piece, kPiece, &read)) break;
    words.insert(words.end(), piece, piece + read / sizeof(ULONG_PTR));
  }
  const size_t bytes = (title.size() + 1) * sizeof(wchar_t);
  std::vector<wchar_t> found(title.size() + 1);
  for (ULONG_PTR word : words) {
    if (word < 0x10000 || word % sizeof(wchar_t)) continue;
    SIZE_T read = 0;
    if (ReadProcessMemory(process.get(), reinterpret_cast<const void*>(word), found.data(), bytes, &read) &&
        read == bytes && found.back() == L'\0' && title.compare(found.data()) == 0)
      return true;
  }
  return false;
}

// The shell's balloons on the current desktop: visible tooltips of balloon style, one line each:
// HWND, whether TITLE (when given) is the balloon's title (1 or 0), and the text with \r, \n and
// \\ written as escapes.
int CmdBalloons(int argc, wchar_t** argv) {
  std::vector<HWND> windows;
  if (const int rc = TopLevelWindows(nullptr, &windows)) return rc;
  for (HWND hwnd : windows) {
    wchar_t name[64];  // only "tooltips_class32" matters here
    if (!IsWindowVisible(hwnd) || !GetClassNameW(hwnd, name, 64) || lstrcmpiW(name, TOOLTIPS_CLASSW) != 0 ||
        !(GetWindowLongW(hwnd, GWL_STYLE) & TTS_BALLOON))
      continue;
    std::wstring text;
    if (!ReadWindowText(hwnd, &text)) {
      if (IsWindow(hwnd)) return kFailed;  // a balloon left out would read as none shown
      continue;                            // closed meanwhile
    }
    std::string escaped;
    for (char c : Utf8(text)) {
      if (c == '\r') escaped += "\\r";
      else if (c == '\n') escaped += "\\n";
      else if (c == '\\') escaped += "\\\\";
      else escaped += c;
    }
    const bool titled = argc >= 1 && TooltipHasTitle(hwnd, argv[0]);
    WriteLine(HwndText(hwnd) + (titled ? " 1 " : " 0 ") + escaped);
  }
  return kOk;
}

// Takes NAME first as a neighbour program could, and holds it MS ms: KIND "mutex" (then the
// program's CreateEvent fails on the name) or "manual-set" (a manual-reset event left signalled).
// Says "held", or "failed <error>".
int CmdSquat(int argc, wchar_t** argv) {
  unsigned long long ms = 0;
  if (argc < 3 || !ParseNumber(argv[2], &ms)) return kUsage;
  HANDLE raw = nullptr;
  if (lstrcmpW(argv[1], L"mutex") == 0) raw = CreateMutexW(nullptr, FALSE, argv[0]);
  else if (lstrcmpW(argv[1], L"manual-set") == 0) raw = CreateEventW(nullptr, TRUE, TRUE, argv[0]);
  else return kUsage;
  win::Handle object(raw);
  if (!object || GetLastError() == ERROR_ALREADY_EXISTS) {
    WriteLine(Format("failed %lu", GetLastError()));
    return kFailed;
  }
  WriteLine("held");
  Sleep(static_cast<DWORD>(ms));
  return kOk;
}

// The DACL and the integrity label of the named event, as SDDL.
int CmdEventSddl(int argc, wchar_t** argv) {
  if (argc < 1) return kUsage;
  win::Handle event(OpenEventW(READ_CONTROL, FALSE, argv[0]));
  if (!event) return kFailed;
  const SECURITY_INFORMATION parts = DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetKernelObjectSecurity(event.get(), parts, nullptr, 0, &needed);
  std::vector<unsigned char> sd(needed ? needed : 1);
  wchar_t* text = nullptr;
  if (!GetKernelObjectSecurity(event.get(), parts, sd.data(), needed, &needed) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(sd.data(), SDDL_REVISION_1, parts, &text, nullptr))
    return kFailed;
  WriteLine(Utf8(text));
  LocalFree(text);
  return kOk;
}

void Usage() {
  WriteLine(
      "usage: tolva_driver <command> ...\n"
      "  find TITLE [timeout_ms] [desktop]   text HWND [ctrl-id]   child HWND CTRL-ID\n"
      "  rect|style|exstyle|visible|pid|focus HWND\n"
      "  send|post HWND MSG WPARAM LPARAM   sendreg|postreg HWND NAME WPARAM LPARAM   click HWND CTRL-ID\n"
      "  send-rect HWND MSG WPARAM LEFT TOP RIGHT BOTTOM   move HWND X Y\n"
      "  signal EVENT   event-exists EVENT   hold-hotkey MODS VK MS   procs|kill EXENAME   kill-pid PID\n"
      "  start-locked EXE MS   reg-dacl KEY SDDL [32|64]   start-on DESKTOP COMMAND-LINE   class HWND\n"
      "  handles PID [max]   gdi PID   gdi-count PID   mem PID   metrics   acp   cursor [X Y]   windows [desktop]\n"
      "  redraw HWND [N]   tooltips PID [desktop]\n"
      "  record FILE ARGS...\n"
      "  hold-event EVENT MS [SDDL]   last-text HWND CTRL-ID FILE [timeout_ms]   sends TARGET MSG W L [MSG W L]...\n"
      "  balloons [TITLE]   squat NAME mutex|manual-set MS   event-sddl EVENT");
}

}  // namespace

int MeasureCommand(const std::wstring& command, int n, wchar_t** args);  // driver_measure.cpp

static int Run(int argc, wchar_t** argv) {
  if (argc < 2) {
    Usage();
    return kUsage;
  }
  const std::wstring command = argv[1];
  int n = argc - 2;
  wchar_t** args = argv + 2;
  int rc = kUsage;
  if ((rc = MeasureCommand(command, n, args)) >= 0) return rc;
  rc = kUsage;
  if (command == L"find") rc = CmdFind(n, args);
  else if (command == L"text") rc = CmdText(n, args);
  else if (command == L"rect") rc = CmdRect(n, args);
  else if (command == L"style") rc = CmdLong(n, args, GWL_STYLE);
  else if (command == L"exstyle") rc = CmdLong(n, args, GWL_EXSTYLE);
  else if (command == L"visible") rc = CmdVisible(n, args);
  else if (command == L"pid") rc = CmdPid(n, args);
  else if (command == L"focus") rc = CmdFocus(n, args);
  else if (command == L"child") rc = CmdChild(n, args);
  else if (command == L"send") rc = CmdSend(n, args);
  else if (command == L"post") rc = CmdPost(n, args);
  else if (command == L"send-rect") rc = CmdSendRect(n, args);
  else if (command == L"sendreg") rc = CmdRegistered(n, args, false);
  else if (command == L"postreg") rc = CmdRegistered(n, args, true);
  else if (command == L"click") rc = CmdClick(n, args);
  else if (command == L"move") rc = CmdMove(n, args);
  else if (command == L"signal") rc = CmdSignal(n, args);
  else if (command == L"event-exists") rc = CmdEventExists(n, args);
  else if (command == L"hold-hotkey") rc = CmdHoldHotkey(n, args);
  else if (command == L"start-locked") rc = CmdStartLocked(n, args);
  else if (command == L"reg-dacl") rc = CmdRegDacl(n, args);
  else if (command == L"start-on") rc = CmdStartOn(n, args);
  else if (command == L"class") rc = CmdClass(n, args);
  else if (command == L"procs") rc = CmdProcs(n, args);
  else if (command == L"kill") rc = CmdKill(n, args);
  else if (command == L"kill-pid") rc = CmdKillPid(n, args);
  else if (command == L"handles") rc = CmdHandles(n, args);
  else if (command == L"gdi") rc = CmdGdi(n, args);
  else if (command == L"gdi-count") rc = CmdGdiCount(n, args);
  else if (command == L"redraw") rc = CmdRedraw(n, args);
  else if (command == L"mem") rc = CmdMem(n, args);
  else if (command == L"metrics") rc = CmdMetrics();
  else if (command == L"acp") rc = CmdAcp();
  else if (command == L"cursor") rc = CmdCursor(n, args);
  else if (command == L"windows") rc = CmdWindows(n, args);
  else if (command == L"tooltips") rc = CmdTooltips(n, args);
  else if (command == L"record") rc = CmdRecord(n, args);
  else if (command == L"hold-event") rc = CmdHoldEvent(n, args);
  else if (command == L"last-text") rc = CmdLastText(n, args);
  else if (command == L"sends") rc = CmdSends(n, args);
  else if (command == L"balloons") rc = CmdBalloons(n, args);
  else if (command == L"squat") rc = CmdSquat(n, args);
  else if (command == L"event-sddl") rc = CmdEventSddl(n, args);
  if (rc == kUsage) Usage();
  return rc;
}

static void WriteError(const std::string& line) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (err && err != INVALID_HANDLE_VALUE) WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int wmain(int argc, wchar_t** argv) {
  WriteError("driver ran\n");
  const int rc = Run(argc, argv);
  WriteError(Format("driver done %d\n", rc));
  return rc;
}
