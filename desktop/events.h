// The ten named events between the two long-lived copies. Group 0 (0..4) is created and waited
// on by the first copy, group 1 (5..9) by the second copy; each side only signals the other.
#pragma once
#include <windows.h>

#include "win/handles.h"

constexpr int kEventCount = 10;
constexpr int kEventsPerGroup = 5;

extern const char* const eventsStr[kEventCount];
extern win::Handle hEvents[kEventCount];

// Creates the five events of `group` in slot order. For each one that existed already,
// `reportExisting(index, name)` runs (the first copy logs it, the second shows a balloon).
void CreateOwnEvents(int group, void (*reportExisting)(int index, const char* name));

// Signals event 5 * group + k of the other copy, opened afresh by name. Silent when the owner
// does not run. The previous handle of the slot is closed when this one replaces it.
void SignalEvent(int group, int k);

// Closes this process's handles of `group`'s events: an event nobody else holds then ceases to
// exist, and a partner started anew creates it afresh instead of finding it (and reporting that).
void ReleaseEvents(int group);
