// The listener threads: each copy waits for ever on its own five events and hands every
// window action to its UI thread with SendMessage.
#pragma once

unsigned long __stdcall EventsThreadFunc(void*);     // first copy, events 0..4
unsigned long __stdcall EventsThreadFuncNew(void*);  // second copy, events 5..9
