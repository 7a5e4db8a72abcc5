// The first copy's watch over the second copy it started on "desk new".
#pragma once

// First copy, UI thread, on each tick: when the second copy has ended while no exit is under way
// and the session goes on, starts a new one (within the bound of DecideCopyEnded). A copy that
// left by itself has shown "Default", which the first copy then takes as the shown desktop.
void WatchSecondCopy();
