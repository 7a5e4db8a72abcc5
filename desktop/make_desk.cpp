#include "desktop/make_desk.h"

#include <cstdio>
#include <string>

#include "app/log.h"
#include "app/log_text.h"
#include "desktop/desk_rules.h"
#include "desktop/switching.h"

namespace {

// The system's text for `error` in code page 936, cut so that no report line can outgrow what
// the log takes. Empty when the system has no text for the code.
std::string ReasonText(DWORD error) {
  wchar_t* wide = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0,
                                 reinterpret_cast<LPWSTR>(&wide), 0, nullptr);
  std::string text;
  if (n && wide) {
    const int bytes = WideCharToMultiByte(936, 0, wide, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
      text.resize(static_cast<size_t>(bytes));
      WideCharToMultiByte(936, 0, wide, static_cast<int>(n), &text[0], bytes, nullptr, nullptr);
    }
  }
  if (wide) LocalFree(wide);
  constexpr size_t kReasonTextMax = 600;  // leaves room for both line frames inside 1023 bytes
  text.resize(BoundedTextLength(text.c_str(), kReasonTextMax));
  return text;
}

void FormatReason(char* reStr, const char* format) {
  const DWORD error = GetLastError();
  snprintf(reStr, kReasonCapacity, format, static_cast<int>(error), ReasonText(error).c_str());
}

bool StartOnDesktop(const wchar_t* application, wchar_t* commandLine, const char* desktop,
                    PROCESS_INFORMATION* info) {
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
  *info = pi;
  return true;
}

}  // namespace

int MakeDesktop(HDESK* deskSlot, const char* name, PROCESS_INFORMATION* explorer, PROCESS_INFORMATION* newCopy,
                int number, char* reStr) {
  *deskSlot = nullptr;
  *deskSlot = CreateDesktopA(name, nullptr, nullptr, 0, MAXIMUM_ALLOWED, nullptr);
  if (!*deskSlot) {
    FormatReason(reStr, "MakeDesktop: CreateDesktop  failed,error no %d ,reason is %s  \r\n");
    return 0;
  }
  if (!SetThreadDesktop(*deskSlot)) {
    FormatReason(reStr, "MakeDesktop: SetThreadDesktop  failed,error no %d ,reason is %s   \r\n");
    return 0;
  }
  bool shellTracked = false;
  const bool shellRunning = TrackedShellRunning(&shellTracked);
  if (NeedsNewShell(shellTracked, shellRunning)) {
    // The system's explorer by full path: no explorer.exe in the program's or the current folder
    // runs instead, and the Windows folder is not redirected for a 32-bit program on 64-bit
    // Windows, as System32 is. The shared one, not a per-user folder of a terminal session.
    wchar_t windowsDir[MAX_PATH] = {};
    wchar_t shellPath[MAX_PATH + 16] = {};
    const UINT dirLength = GetSystemWindowsDirectoryW(windowsDir, MAX_PATH);
    if (dirLength == 0 || dirLength >= MAX_PATH || !ExplorerPath(windowsDir, shellPath, MAX_PATH + 16)) {
      if (dirLength != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
      FormatReason(reStr, "MakeDesktop: CreateProcess explorer failed,error no %d ,reason is %s   \r\n");
      return 0;
    }
    wchar_t shell[] = L"explorer";
    if (!StartOnDesktop(shellPath, shell, name, explorer)) {
      FormatReason(reStr, "MakeDesktop: CreateProcess explorer failed,error no %d ,reason is %s   \r\n");
      return 0;
    }
  }
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t commandLine[64];
  wchar_t wideName[32];
  MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 32);
  swprintf(commandLine, 64, L" makedesktop %ls %d", wideName, number);
  StartOnDesktop(self, commandLine, name, newCopy);  // not examined: the watchdog notices a dead copy
  return 1;
}

void checkMake(int result, const char* name, const char* reStr) {
  char line[2024];
  if (!SetThreadDesktop(DefaultDesktop())) {
    snprintf(line, sizeof line, "checkMake:SetThreadDesktop to %s failed,error no %d \r\n", name,
             static_cast<int>(GetLastError()));
    LogLine(line);
  }
  if (result == 1)
    snprintf(line, sizeof line, "Making %s..   \r\n", name);
  else
    snprintf(line, sizeof line, "Make %s failed,reStr is %s\r\n", name, reStr);
  LogLine(line);
}

unsigned long __stdcall MakeDeskThreadFunc(void*) {
  char reStr[kReasonCapacity] = "";
  Sleep(1000);
  if (!SetThreadDesktop(DefaultDesktop())) {
    snprintf(reStr, sizeof reStr, "SetThread3Desktop0 failed,error no %d \r\n", static_cast<int>(GetLastError()));
    LogLine(reStr);
  }
  BeginDesktopRun();
  HDESK fresh = nullptr;
  PROCESS_INFORMATION explorer{};
  PROCESS_INFORMATION newCopy{};
  const int result = MakeDesktop(&fresh, kNewDesktopName, &explorer, &newCopy, 1, reStr);
  checkMake(result, kNewDesktopName, reStr);
  ReplaceStartedProcesses(&explorer, &newCopy);
  EndDesktopRun(fresh);
  return 1;
}
