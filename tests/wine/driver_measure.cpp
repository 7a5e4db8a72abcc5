// Measurement commands of the test driver, used by tools/bench.py (processor time is read from
// Linux, since Wine reports none for other processes):
//   timeline EXE [timeout_ms]  start the program and time its milestones in milliseconds
//   switch-bench HWND N        time N switch requests (WM_COMMAND 1009 sent) in microseconds
// Returns -1 for a command that is not one of these.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "win/handles.h"

namespace {

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Print(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(strlen(line)), &written, nullptr);
}

// The log's text, or empty while the program's UI thread is busy (a read then waits for it).
std::wstring LogText(HWND main) {
  HWND log = GetDlgItem(main, 1006);
  if (!log) return std::wstring();
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(log, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return std::wstring();
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(log, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 2000,
                           &copied))
    return std::wstring();
  text.resize(copied);
  return text;
}

int Timeline(int n, wchar_t** args) {
  if (n < 1) return 2;
  const double timeout = n >= 2 ? _wtof(args[1]) : 30000.0;
  std::wstring commandLine = L"\"" + std::wstring(args[0]) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const double t0 = NowMs();
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
  win::Handle process(pi.hProcess);
  win::Handle thread(pi.hThread);
  double window = -1, banner = -1, making = -1, ready = -1;
  HWND main = nullptr;
  while (NowMs() - t0 < timeout && ready < 0) {
    if (!main) {
      main = FindWindowW(nullptr, L"default");
      if (main) window = NowMs() - t0;
    } else {
      const std::wstring text = LogText(main);
      const double t = NowMs() - t0;
      if (banner < 0 && text.find(L"Ctrl+Alt+Enter\r\n") != std::wstring::npos) banner = t;
      if (making < 0 && text.find(L"Making desk new..") != std::wstring::npos) making = t;
      if (ready < 0 && text.find(L"desk new ok\r\n") != std::wstring::npos) ready = t;
    }
    Sleep(5);
  }
  Print("pid %lu\nwindow %.1f\nbanner %.1f\nmaking %.1f\nready %.1f\n", pi.dwProcessId, window, banner, making, ready);
  return ready >= 0 ? 0 : 1;
}

int SwitchBench(int n, wchar_t** args) {
  if (n < 2) return 2;
  HWND wnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoull(args[0], nullptr, 0)));
  const int count = _wtoi(args[1]);
  if (!IsWindow(wnd) || count <= 0) return 1;
  std::vector<double> us;
  us.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const double t = NowMs();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(wnd, WM_COMMAND, 1009, 0, 0, 10000, &result);
    us.push_back(1000.0 * (NowMs() - t));
  }
  std::sort(us.begin(), us.end());
  Print("count %d\nmedian_us %.1f\np90_us %.1f\nmin_us %.1f\nmax_us %.1f\n", count, us[us.size() / 2],
        us[us.size() * 9 / 10], us.front(), us.back());
  return 0;
}

}  // namespace

int MeasureCommand(const std::wstring& command, int n, wchar_t** args) {
  if (command == L"timeline") return Timeline(n, args);
  if (command == L"switch-bench") return SwitchBench(n, args);
  return -1;
}
