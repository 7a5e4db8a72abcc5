// The listener threads: each copy waits for ever on its own five events and posts each request to
// its UI thread, which decides and acts.
#pragma once
#include <windows.h>

// What a listener posts to hMainWnd: `requestMessage` with wParam the event's position in the
// group (FirstCopyEvent or SecondCopyEvent), lParam 0. Handed in by the window as the thread's
// parameter; lives as long as the process.
struct ListenerCommands {
  UINT requestMessage;
};

unsigned long __stdcall EventsThreadFunc(void* commands);     // first copy, events 0..4
unsigned long __stdcall EventsThreadFuncNew(void* commands);  // second copy, events 5..9

// UI thread, on `requestMessage`: whether `position` names a request of this process's group,
// and marks it taken, so that the next signal of the same event is a request of its own. A
// request is folded only into the same one still waiting in the queue.
bool TakeListenerRequest(WPARAM position);
