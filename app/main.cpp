#include <windows.h>

#include "app/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // A downloaded program runs from a folder full of other downloads: a DLL that a system DLL loads
  // by name comes from system32 only, never from the program's folder. Windows 7 without its 2011
  // loader update (KB2533623) lacks the call; there the old search order stays.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  if (const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))))
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Out of the folder the program was started from: a USB stick holding it could not be ejected
  // while a copy runs there. The Windows folder is always there.
  wchar_t windowsDir[MAX_PATH + 1];
  const UINT dirLength = GetSystemWindowsDirectoryW(windowsDir, MAX_PATH + 1);
  if (dirLength > 0 && dirLength <= MAX_PATH) SetCurrentDirectoryW(windowsDir);

  TolvaApp app;
  // The worker threads are never joined: ExitProcess ends them before anything is torn down, so
  // no static destructor runs under a thread that still uses what it destroys.
  ExitProcess(static_cast<UINT>(app.InitInstance()));
}
