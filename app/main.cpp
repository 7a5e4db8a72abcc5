#include <windows.h>

#include <commctrl.h>

#include "app/role.h"
#include "desktop/protocol.h"
#include "services/log.h"
#include "ui/main_dlg.h"
#include "ui/newdesk_dlg.h"
#include "ui/running_dlg.h"
#include "win/fixed_text.h"
#include "win/handles.h"

class TolvaApp {
 public:
  int InitInstance();
};

namespace {

// Another program holds the marker's name as some other object: the user must learn why nothing
// starts, and what to do.
void ShowMarkerTaken(DWORD error) {
  win::WideText<256> text;
  text.Format(L"双桌面无法启动：名称 hTOLVATOP2RUNNING 已被其他程序占用 (错误号 %lu)。\r\n"
              L"请关闭占用它的程序后再启动双桌面。",
              error);
  MessageBoxW(nullptr, text.c_str(), L"提示", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace

// The application object: settles the role of this start and runs its dialog; returns the
// process exit code.
int TolvaApp::InitInstance() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};  // bar classes: tooltips
  InitCommonControlsEx(&icc);

  if (SelectsSecondCopy(ArgumentTail(GetCommandLineW()))) {
    // The lowest level an application may take: at logoff the user's programs on "desk new" are
    // asked before this copy, whose end would leave them on a desktop nobody sees.
    SetProcessShutdownParameters(0x100, 0);
    deskNameStr = win::Text<16>(kSecondCopyTitle);
    CNewDeskDlg dlg;
    dlg.DoModal();
    return 0;
  }

  // The marker lives as long as any first or already-running copy: its handle is held to the
  // end of the process on purpose. Only whether it existed before matters, so the last error is
  // read right after the call. An elevated first copy's marker is closed to a normal start
  // (access denied): that start is an already-running copy all the same.
  HANDLE marker = CreateEventW(nullptr, FALSE, FALSE, L"hTOLVATOP2RUNNING");
  const DWORD markerError = GetLastError();
  win::Handle runningMarker(marker);
  switch (ReadMarker(marker != nullptr, markerError)) {
    case MarkerVerdict::RunningCopy: {
      CRunningDlg dlg;
      dlg.DoModal();
      return 0;
    }
    case MarkerVerdict::NameTaken:
      ShowMarkerTaken(markerError);
      return 1;
    case MarkerVerdict::FirstCopy:
      break;
  }

  // Asked before the user's programs (first of the applications' range): while their work is open
  // on "desk new" this copy shows that desktop, so their save prompts are seen.
  SetProcessShutdownParameters(0x3FF, 0);
  deskNameStr = win::Text<16>(kFirstCopyTitle);
  CMainDlg dlg;
  dlg.DoModal();
  return 0;
}

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
