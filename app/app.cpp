#include "app/app.h"

#include <windows.h>

#include <commctrl.h>

#include "app/role.h"
#include "desktop/protocol.h"
#include "services/process.h"
#include "ui/main_dlg.h"
#include "ui/newdesk_dlg.h"
#include "ui/running_dlg.h"
#include "win/fixed_text.h"
#include "win/handles.h"

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
