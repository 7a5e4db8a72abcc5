// What links the two long-lived copies: the ten named events, the listener threads that wait on
// them, and the second copy's watch over the first copy's process. Group 0 (0..4) is created and
// waited on by the first copy, group 1 (5..9) by the second copy; each side only signals the other.
#pragma once
#include <windows.h>

#include "desktop/desk_rules.h"
#include "win/handles.h"

extern const char* const eventsStr[kEventCount];
extern win::Handle hEvents[kEventCount];  // this copy's own group; the other group's slots stay empty

// Creates the five events of `group` in slot order, open to this user for signalling and waiting
// only. `report(index, name, error)` runs for each one that existed already (error
// ERROR_ALREADY_EXISTS: it is used all the same) and for each one that could not be created (its
// slot stays empty; the listener waits on the others).
void CreateOwnEvents(int group, void (*report)(int index, const char* name, unsigned long error));

// Signals event 5 * group + k of the other copy through a handle opened by name for this signal
// and closed again, so that an ended partner's events cease to exist. False when it cannot be
// reached (its owner does not run, or the name is taken by something else). Any thread.
bool SignalEvent(int group, int k);

// The listener threads: each copy waits for ever on its own five events and posts each request to
// its UI thread, which decides and acts.
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

// The second copy's watch over the first copy that started it.
// The process that started this one (Toolhelp's parent id), opened for waiting, when it runs this
// program's file and started before this copy (AcceptParent); null otherwise, as for a copy
// started by hand.
HANDLE OpenFirstCopy();

// Waits on a duplicate of `firstCopy` on a thread of its own and posts `message` (no parameters)
// to `owner` when that process ends. False when the watch cannot start.
bool WatchFirstCopy(HANDLE firstCopy, HWND owner, UINT message);
