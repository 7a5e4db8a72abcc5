// The ten named events between the two long-lived copies. Group 0 (0..4) is created and waited
// on by the first copy, group 1 (5..9) by the second copy; each side only signals the other.
#pragma once
#include <windows.h>

#include "desktop/listen_rules.h"
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
