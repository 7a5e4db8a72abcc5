#include "desktop/listener.h"

#include <windows.h>

#include "desktop/events.h"
#include "desktop/protocol.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "services/tray.h"

namespace {

// A wait that fails at once (a missing event) would otherwise spin on the processor.
constexpr DWORD kFailedWaitPause = 1000;

constexpr int kWaitFailed = -1;

// The position of the event of `group` that was signalled, or kWaitFailed.
int WaitOnGroup(EventGroup group) {
  HANDLE handles[kEventsPerGroup];
  for (int k = 0; k < kEventsPerGroup; ++k) handles[k] = hEvents[kEventsPerGroup * group + k].get();
  const DWORD r = WaitForMultipleObjects(kEventsPerGroup, handles, FALSE, INFINITE);
  return r == WAIT_FAILED ? kWaitFailed : static_cast<int>(r - WAIT_OBJECT_0);
}

}  // namespace

unsigned long __stdcall EventsThreadFunc(void* commands) {
  const ListenerCommands& c = *static_cast<const ListenerCommands*>(commands);
  for (;;) {
    switch (WaitOnGroup(kFirstCopyEvents)) {
      case kSwitchDeskEvent:
        SendMessageW(hMainWnd, WM_COMMAND, c.switchCommand, 0);
        break;
      case kExitTolvaEvent:
        LogLine("WAIT_OBJECT_0+1\r\n");
        LogLine("tolva exit\r\n");
        SendMessageW(hMainWnd, WM_COMMAND, c.exitCommand, 0);
        break;
      case kHelloEvent:
        deadCount = 0;
        break;
      case kHideMainEvent:
        SendMessageW(hMainWnd, WM_HOTKEY, c.trayHotKey, 0);
        break;
      case kDeskNewOkEvent:
        LogLine("desk new ok\r\n");
        if (switchRefused) TrayIconBalloon("提示", "启动已OK\r\n");
        break;
      case kWaitFailed:
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
    switch (WaitOnGroup(kSecondCopyEvents)) {
      case kNotifyExitEvent:
        SendMessageW(hMainWnd, WM_COMMAND, c.exitCommand, 0);
        break;
      case kAckEvent:
        deadCount = 0;
        break;
      case kWaitFailed:
        Sleep(kFailedWaitPause);
        break;
      default:
        break;
    }
  }
}
