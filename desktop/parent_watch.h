// The second copy's watch over the first copy that started it.
#pragma once
#include <windows.h>

// The process that started this one (Toolhelp's parent id), opened for waiting, when it runs this
// program's file and started before this copy (AcceptParent); null otherwise, as for a copy
// started by hand.
HANDLE OpenFirstCopy();

// Waits on a duplicate of `firstCopy` on a thread of its own and posts `message` (no parameters)
// to `owner` when that process ends. False when the watch cannot start.
bool WatchFirstCopy(HANDLE firstCopy, HWND owner, UINT message);
