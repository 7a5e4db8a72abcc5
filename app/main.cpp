#include <windows.h>

#include "app/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  TolvaApp app;
  // The worker threads are never joined: ExitProcess ends them before anything is torn down, so
  // no static destructor runs under a thread that still uses what it destroys.
  ExitProcess(static_cast<UINT>(app.InitInstance()));
}
