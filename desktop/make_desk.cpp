#include "desktop/make_desk.h"

#include <utility>

#include "app/log.h"
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
  const win::LocalMemory owned(wide);
  win::Text<1024> text;
  if (n && wide) text = win::ToAnsi<1024>(wide, static_cast<int>(n));
  constexpr size_t kReasonTextMax = 600;  // leaves room for both line frames inside 1023 bytes
  text.CutAt(kReasonTextMax);
  return text;
}

// `format` takes the error number and the system's text for it.
void FormatReason(ReasonLine& reStr, const char* format) {
  const DWORD error = GetLastError();
  reStr.Format(format, static_cast<int>(error), ReasonText(error).c_str());
}

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

}  // namespace

int MakeDesktop(DeskRun& run, const char* name, int number, ReasonLine& reStr) {
  run.desk.reset(CreateDesktopA(name, nullptr, nullptr, 0, MAXIMUM_ALLOWED, nullptr));
  if (!run.desk) {
    FormatReason(reStr, "MakeDesktop: CreateDesktop  failed,error no %d ,reason is %s  \r\n");
    return 0;
  }
  if (!SetThreadDesktop(run.desk.get())) {
    FormatReason(reStr, "MakeDesktop: SetThreadDesktop  failed,error no %d ,reason is %s   \r\n");
    return 0;
  }
  // A second explorer on a desktop that already has a shell only opens a folder window and
  // leaves, which would lose track of the live shell.
  if (!TrackedShellRunning()) {
    ShellPath shellPath;
    wchar_t shell[] = L"explorer";  // CreateProcessW may write to its command line
    if (!SystemExplorerPath(shellPath) || !StartOnDesktop(shellPath.c_str(), shell, name, &run.explorer)) {
      FormatReason(reStr, "MakeDesktop: CreateProcess explorer failed,error no %d ,reason is %s   \r\n");
      return 0;
    }
  }
  win::WideText<MAX_PATH + 1> self;
  self.SetLength(GetModuleFileNameW(nullptr, self.Buffer(), MAX_PATH));
  win::WideText<64> commandLine;
  commandLine.Format(L" makedesktop %ls %d", win::FromAnsi<32>(name).c_str(), number);
  StartOnDesktop(self.c_str(), commandLine.Buffer(), name, &run.newCopy);  // not examined: the watchdog notices a dead copy
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
  ReasonLine reStr;
  Sleep(1000);
  if (!SetThreadDesktop(DefaultDesktop())) {
    reStr.Format("SetThread3Desktop0 failed,error no %d \r\n", static_cast<int>(GetLastError()));
    LogLine(reStr.c_str());
  }
  BeginDesktopRun();
  DeskRun run;
  const int result = MakeDesktop(run, kNewDesktopName, 1, reStr);
  checkMake(result, kNewDesktopName, reStr.c_str());
  EndDesktopRun(std::move(run));
  return 1;
}
