#include "desktop/listener.h"

#include <windows.h>

#include "desktop/events.h"
#include "desktop/listen_rules.h"
#include "desktop/protocol.h"
#include "services/log.h"

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

// Per position: a request of that kind is posted and not yet taken by the UI thread.
LONG waiting[kEventsPerGroup] = {};

// Posts the request unless the same one still waits: a neighbour repeating a signal cannot flood
// the queue, and two requests taken one after the other are two.
void Post(const ListenerCommands& c, int position) {
  if (InterlockedExchange(&waiting[position], 1) != 0) return;
  if (!PostMessageW(hMainWnd, c.requestMessage, static_cast<WPARAM>(position), 0))
    InterlockedExchange(&waiting[position], 0);
}

}  // namespace

bool TakeListenerRequest(WPARAM position) {
  if (position >= static_cast<WPARAM>(kEventsPerGroup)) return false;
  InterlockedExchange(&waiting[position], 0);
  return true;
}

unsigned long __stdcall EventsThreadFunc(void* commands) {
  const ListenerCommands& c = *static_cast<const ListenerCommands*>(commands);
  const OwnEvents own = Gather(kFirstCopyEvents);
  if (own.set.count == 0) return 0;  // each missing name was reported at its creation
  for (;;) {
    const int k = WaitForOne(own);
    switch (k) {
      case kSwitchDeskEvent:
      case kExitTolvaEvent:
      case kHelloEvent:
      case kHideMainEvent:
      case kDeskNewOkEvent:
        Post(c, k);
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
    const int k = WaitForOne(own);
    switch (k) {
      case kNotifyExitEvent:
      case kAckEvent:
        Post(c, k);
        break;
      case kWaitFailed:
        Sleep(kFailedWaitPause);
        break;
      default:
        break;
    }
  }
}
