#include "desktop/make_desk.h"

#include <cstdarg>
#include <utility>

#include "app/log.h"
#include "app/log_text.h"
#include "desktop/desk_rules.h"
#include "desktop/switching.h"
#include "win/text.h"

namespace {

// The system's text for `error` in code page 936, cut so that no report line can outgrow what
// the log takes. Empty when the system has no text for the code.
win::Text<1024> ReasonText(DWORD error) {
  wchar_t* wide = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0,
                                 reinterpret_cast<LPWSTR>(&wide), 0, nullptr);
  win::Text<1024> text;
  if (n && wide) text = win::ToAnsi<1024>(wide, static_cast<int>(n));
  if (wide) LocalFree(wide);
  constexpr size_t kReasonTextMax = 600;  // leaves room for both line frames inside 1023 bytes
  text.Truncate(BoundedTextLength(text.c_str(), kReasonTextMax));
  return text;
}

// printf into the caller's reStr, cut at its capacity.
void FormatReStr(char* reStr, const char* format, ...) __attribute__((format(ms_printf, 2, 3)));
void FormatReStr(char* reStr, const char* format, ...) {
  va_list args;
  va_start(args, format);
  win::FormatInto(reStr, kReasonCapacity, format, args);
  va_end(args);
}

void FormatReason(char* reStr, const char* format) {
  const DWORD error = GetLastError();
  FormatReStr(reStr, format, static_cast<int>(error), ReasonText(error).c_str());
}

// The system's explorer by full path: no explorer.exe in the program's or the current folder runs
// instead, and the Windows folder is not redirected for a 32-bit program on 64-bit Windows, as
// System32 is. The shared one, not a per-user folder of a terminal session.
bool SystemExplorerPath(wchar_t* path, size_t capacity) {
  wchar_t windowsDir[MAX_PATH] = {};
  const UINT dirLength = GetSystemWindowsDirectoryW(windowsDir, MAX_PATH);
  if (dirLength == 0) return false;
  if (dirLength >= MAX_PATH || !ExplorerPath(windowsDir, path, capacity)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return true;
}

bool StartOnDesktop(const wchar_t* application, wchar_t* commandLine, const char* desktop, win::Handle* process) {
  wchar_t desktopName[32];
  MultiByteToWideChar(CP_ACP, 0, desktop, -1, desktopName, 32);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.lpDesktop = desktopName;
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

}  // namespace

int MakeDesktop(DeskRun& run, const char* name, int number, char* reStr) {
  run.desk.reset(CreateDesktopA(name, nullptr, nullptr, 0, MAXIMUM_ALLOWED, nullptr));
  if (!run.desk) {
    FormatReason(reStr, "MakeDesktop: CreateDesktop  failed,error no %d ,reason is %s  \r\n");
    return 0;
  }
  if (!SetThreadDesktop(run.desk.get())) {
    FormatReason(reStr, "MakeDesktop: SetThreadDesktop  failed,error no %d ,reason is %s   \r\n");
    return 0;
  }
  bool shellTracked = false;
  const bool shellRunning = TrackedShellRunning(&shellTracked);
  if (NeedsNewShell(shellTracked, shellRunning)) {
    wchar_t shellPath[MAX_PATH + 16] = {};
    wchar_t shell[] = L"explorer";
    if (!SystemExplorerPath(shellPath, MAX_PATH + 16) || !StartOnDesktop(shellPath, shell, name, &run.explorer)) {
      FormatReason(reStr, "MakeDesktop: CreateProcess explorer failed,error no %d ,reason is %s   \r\n");
      return 0;
    }
  }
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  win::WideText<64> commandLine;
  wchar_t wideName[32];
  MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 32);
  commandLine.Format(L" makedesktop %ls %d", wideName, number);
  StartOnDesktop(self, commandLine.Buffer(), name, &run.newCopy);  // not examined: the watchdog notices a dead copy
  return 1;
}

void checkMake(int result, const char* name, const char* reStr) {
  win::Text<2024> line;
  if (!SetThreadDesktop(DefaultDesktop())) {
    line.Format("checkMake:SetThreadDesktop to %s failed,error no %d \r\n", name,
                static_cast<int>(GetLastError()));
    LogLine(line.c_str());
  }
  if (result == 1)
    line.Format("Making %s..   \r\n", name);
  else
    line.Format("Make %s failed,reStr is %s\r\n", name, reStr);
  LogLine(line.c_str());
}

unsigned long __stdcall MakeDeskThreadFunc(void*) {
  char reStr[kReasonCapacity] = "";
  Sleep(1000);
  if (!SetThreadDesktop(DefaultDesktop())) {
    FormatReStr(reStr, "SetThread3Desktop0 failed,error no %d \r\n", static_cast<int>(GetLastError()));
    LogLine(reStr);
  }
  BeginDesktopRun();
  DeskRun run;
  const int result = MakeDesktop(run, kNewDesktopName, 1, reStr);
  checkMake(result, kNewDesktopName, reStr);
  EndDesktopRun(std::move(run));
  return 1;
}
