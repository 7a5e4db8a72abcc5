// What every layer may know of this process: its desktop's name and how it starts a worker thread.
#pragma once
#include "win/fixed_text.h"

// This process's desktop name, "default" or "desk new"; written once before any thread starts.
extern win::Text<16> deskNameStr;

// Creates a worker thread with a 1 MiB stack reservation; the handle is closed at once. The thread
// only reads `param`, which must live as long as the thread. A thread the system refuses is not
// retried: false then.
bool StartWorkerThread(unsigned long(__stdcall* proc)(void*), const void* param = nullptr);
