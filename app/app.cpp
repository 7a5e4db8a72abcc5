#include "app/app.h"

#include <windows.h>

#include <commctrl.h>

#include "app/role.h"
#include "desktop/protocol.h"
#include "services/process.h"
#include "ui/main_dlg.h"
#include "ui/newdesk_dlg.h"
#include "ui/running_dlg.h"
#include "win/handles.h"

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
  if (MarkerShowsRunningCopy(marker != nullptr, markerError)) {
    CRunningDlg dlg;
    dlg.DoModal();
    return 0;
  }

  // Asked before the user's programs (first of the applications' range): while their work is open
  // on "desk new" this copy shows that desktop, so their save prompts are seen.
  SetProcessShutdownParameters(0x3FF, 0);
  deskNameStr = win::Text<16>(kFirstCopyTitle);
  CMainDlg dlg;
  dlg.DoModal();
  return 0;
}
