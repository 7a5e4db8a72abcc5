#include "services/log.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdarg>

#include "services/log_queue.h"
#include "win/handles.h"
#include "win/text.h"

HWND hMainWnd = nullptr;
HWND hLogEdit = nullptr;

namespace {

constexpr UINT_PTR kLogSubclassId = 0x106;

win::CriticalSection gQueueLock;
LogQueue gQueue;  // guarded by gQueueLock

void AppendNow(HWND edit, const char* text) {
  const auto wide = win::FromAnsi<kLogTextMaxBytes + 1>(text);  // cut at a character boundary
  const int lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
  if (lines > kLogTrimLines) {
    SendMessageW(edit, EM_SETSEL, 0, kLogTrimChars);
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
  }
  const LRESULT end = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(edit, EM_SETSEL, end, end);
  SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
}

// The window's thread: writes every queued text, oldest first, the lock held only to take one.
void DrainQueue(HWND edit) {
  LogText text;
  for (;;) {
    std::size_t dropped = 0;
    {
      win::Lock lock(gQueueLock);
      if (!gQueue.Pop(text)) {
        dropped = gQueue.TakeDropped();
        text.clear();
      }
    }
    if (text.empty()) {
      if (dropped) {
        win::Text<64> line;
        line.Format("AppendLog: %u lines lost,queue full\r\n", static_cast<unsigned>(dropped));
        AppendNow(edit, line.c_str());
      }
      return;
    }
    AppendNow(edit, text.c_str());
  }
}

// Whether the calling thread is on the desktop of the window's thread: window messages do not
// reach a window on another desktop, so a send from there could wait for ever. False when either
// name cannot be read.
bool OnDesktopOf(DWORD windowThread) {
  wchar_t mine[64], theirs[64];  // desktop names here are "Default" and "desk new"
  DWORD needed = 0;
  if (!GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, mine, sizeof mine, &needed) ||
      !GetUserObjectInformationW(GetThreadDesktop(windowThread), UOI_NAME, theirs, sizeof theirs, &needed))
    return false;
  return lstrcmpiW(mine, theirs) == 0;
}

LRESULT CALLBACK LogEditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == kLogDrainMessage) {
    DrainQueue(hwnd);
    return 0;
  }
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, LogEditProc, kLogSubclassId);
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void AttachLogWindow(HWND edit) {
  hLogEdit = edit;
  if (!edit) return;
  // The default limit of 32767 characters would silently drop lines of a long-running log.
  SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  SetWindowSubclass(edit, LogEditProc, kLogSubclassId, 0);
}

void AppendLog(HWND edit, const char* text) {
  if (!edit || !text) return;
  const DWORD windowThread = GetWindowThreadProcessId(edit, nullptr);
  if (windowThread == GetCurrentThreadId()) {
    DrainQueue(edit);  // what other threads queued came first
    AppendNow(edit, text);
    return;
  }
  const bool reachable = OnDesktopOf(windowThread);
  bool full = false;
  {
    win::Lock lock(gQueueLock);
    full = gQueue.size() == kLogQueueSlots;
  }
  // A thread that can reach the window makes room rather than lose its text.
  if (reachable && full) SendMessageW(edit, kLogDrainMessage, 0, 0);
  {
    win::Lock lock(gQueueLock);
    gQueue.Push(text);
  }
  if (reachable) SendMessageW(edit, kLogDrainMessage, 0, 0);
}

void DrainLog() {
  if (hLogEdit) DrainQueue(hLogEdit);
}

void LogLine(const char* text) { AppendLog(hLogEdit, text); }

void LogFormat(const char* format, ...) {
  win::Text<1024> line;
  va_list args;
  va_start(args, format);
  line.FormatV(format, args);
  va_end(args);
  LogLine(line.c_str());
}

win::Text<16> deskNameStr;

bool StartWorkerThread(unsigned long(__stdcall* proc)(void*), const void* param) {
  const win::Handle thread(
      CreateThread(nullptr, 0x100000, proc, const_cast<void*>(param), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  return static_cast<bool>(thread);
}
