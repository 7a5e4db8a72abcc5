#include "desktop/listener.h"

#include <windows.h>

#include "desktop/events.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "services/tray.h"

namespace {

// A wait that fails at once (a missing event) would otherwise spin on the processor.
constexpr DWORD kFailedWaitPause = 1000;

DWORD WaitOnGroup(int group) {
  HANDLE handles[kEventsPerGroup];
  for (int k = 0; k < kEventsPerGroup; ++k) handles[k] = hEvents[kEventsPerGroup * group + k].get();
  return WaitForMultipleObjects(kEventsPerGroup, handles, FALSE, INFINITE);
}

}  // namespace

unsigned long __stdcall EventsThreadFunc(void* commands) {
  const ListenerCommands& c = *static_cast<const ListenerCommands*>(commands);
  for (;;) {
    const DWORD r = WaitOnGroup(0);
    switch (r) {
      case WAIT_OBJECT_0 + 0:  // "switch desk"
        SendMessageW(hMainWnd, WM_COMMAND, c.switchCommand, 0);
        break;
      case WAIT_OBJECT_0 + 1:  // "exit tolva"
        LogLine("WAIT_OBJECT_0+1\r\n");
        LogLine("tolva exit\r\n");
        SendMessageW(hMainWnd, WM_COMMAND, c.exitCommand, 0);
        break;
      case WAIT_OBJECT_0 + 2:  // "tolva receive hello"
        deadCount = 0;
        break;
      case WAIT_OBJECT_0 + 3:  // "hide m"
        SendMessageW(hMainWnd, WM_HOTKEY, c.trayHotKey, 0);
        break;
      case WAIT_OBJECT_0 + 4:  // "desk n ok"
        LogLine("desk new ok\r\n");
        if (switchRefused) TrayIconBalloon("提示", "启动已OK\r\n");
        break;
      case WAIT_FAILED:
        LogLine("WAIT_FAILED\r\n");
        Sleep(kFailedWaitPause);
        break;
      default:
        break;
    }
  }
}

unsigned long __stdcall EventsThreadFuncNew(void* commands) {
  const ListenerCommands& c = *static_cast<const ListenerCommands*>(commands);
  for (;;) {
    const DWORD r = WaitOnGroup(1);
    if (r == WAIT_OBJECT_0 + 1)  // "notify n exit"
      SendMessageW(hMainWnd, WM_COMMAND, c.exitCommand, 0);
    else if (r == WAIT_OBJECT_0 + 2)  // "ndesk receive ack"
      deadCount = 0;
    else if (r == WAIT_FAILED)
      Sleep(kFailedWaitPause);
  }
}
