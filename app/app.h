// The application object: settles the role of this start and runs its dialog.
#pragma once

// This process's desktop name, "default" or "desk new"; written once before any thread starts.
extern char deskNameStr[16];

// Creates a worker thread with a 1 MiB stack reservation; the handle is closed at once. The thread
// only reads `param`, which must live as long as the thread.
bool StartWorkerThread(unsigned long(__stdcall* proc)(void*), const void* param = nullptr);

class TolvaApp {
 public:
  // Runs the role test and the chosen dialog; returns the process exit code.
  int InitInstance();
};
