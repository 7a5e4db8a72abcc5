#include "desktop/listener.h"

#include <windows.h>

#include "desktop/events.h"
#include "desktop/listen_rules.h"
#include "desktop/protocol.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "services/tray.h"

namespace {

// A wait that fails at once would otherwise spin on the processor.
constexpr DWORD kFailedWaitPause = 1000;

constexpr int kWaitFailed = -2;

// The events of a group that exist, gathered once: the slots are not written after the
// creation loop, which ran before this thread started.
struct OwnEvents {
  WaitSet set;
  HANDLE handles[kEventsPerGroup] = {};
};

OwnEvents Gather(EventGroup group) {
  bool created[kEventsPerGroup];
  for (int k = 0; k < kEventsPerGroup; ++k) created[k] = static_cast<bool>(hEvents[kEventsPerGroup * group + k]);
  OwnEvents own;
  own.set = BuildWaitSet(created);
  for (int j = 0; j < own.set.count; ++j) own.handles[j] = hEvents[kEventsPerGroup * group + own.set.position[j]].get();
  return own;
}

// The group position of the event that woke the wait, or kWaitFailed. The event is reset: ours
// are auto-reset already, but one that a neighbour created first as manual-reset and left
// signalled would otherwise wake every wait. So a neighbour can repeat a request, not flood it.
int WaitForOne(const OwnEvents& own) {
  const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(own.set.count), own.handles, FALSE, INFINITE);
  const int k = WokenPosition(own.set, r);
  if (k == kNoEvent) return kWaitFailed;
  ResetEvent(own.handles[r - WAIT_OBJECT_0]);
  return k;
}

}  // namespace

unsigned long __stdcall EventsThreadFunc(void* commands) {
  const ListenerCommands& c = *static_cast<const ListenerCommands*>(commands);
  const OwnEvents own = Gather(kFirstCopyEvents);
  if (own.set.count == 0) return 0;  // each missing name was reported at its creation
  for (;;) {
    switch (WaitForOne(own)) {
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
  const OwnEvents own = Gather(kSecondCopyEvents);
  if (own.set.count == 0) return 0;
  for (;;) {
    switch (WaitForOne(own)) {
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
