#include "update/update_worker.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include "services/log.h"
#include "services/tray.h"
#include "state/own_file.h"
#include "state/registry_store.h"
#include "update/http_fetch.h"
#include "update/update_address.h"
#include "update/update_parser.h"
#include "version/version.h"
#include "win/text.h"

// Static, so the buffer the worker needs can never be missing.
char updateBuf[kUpdateBufBytes];
int updateLen = 0;

namespace {

// Set by the worker once it announces a newer version; taken once by the UI thread's balloon.
LONG newsReady = 0;

UpdateAddress HomeUrl() { return AddressOf(TOLVA_HOME_HOST, "/soft/tolva2/tolva2.htm"); }

void AnnounceNewVersion(const char* homeUrl, const UpdateCommands& commands) {
  win::Text<512> text;
  text.Format("更新地址:\r\n%s\r\n", homeUrl);
  LogLine(text.c_str());
  // The balloon is the UI thread's, which owns the tray record.
  InterlockedExchange(&newsReady, 1);
  PostMessageW(hMainWnd, WM_COMMAND, commands.newsCommand, 0);
  // The user's default browser: the URL itself is opened by the shell, which may use COM on
  // this thread and expects it initialised, apartment-threaded.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteW(nullptr, L"open", win::FromAnsi(homeUrl).c_str(), nullptr, nullptr, SW_SHOW);
  if (SUCCEEDED(com)) CoUninitialize();
  text.Format("多桌面已有更新，请去官方网站升级\r\n%s", homeUrl);
  // Owned by no window: an owner on the UI thread would tie that thread's input to this one and
  // be enabled again when the box closes, even under the exit question's box. Topmost, so the
  // topmost main window does not hide it.
  MessageBoxW(nullptr, win::FromAnsi(text.c_str()).c_str(), win::FromAnsi("提示").c_str(),
              MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
  PostMessageW(hMainWnd, WM_COMMAND, commands.exitCommand, 0);
}

}  // namespace

void ShowUpdateNews() {
  if (InterlockedExchange(&newsReady, 0) == 0) return;  // not the worker's: nothing to show
  win::Text<512> text;
  text.Format("多桌面已经有更新，请去官方网站升级\r\n%s", HomeUrl().c_str());
  TrayIconBalloon("提示", text.c_str());
}

void _tolva_UPDATA() {
  static UpdateElements elements;  // an element missing from a later file keeps this value
  if (!ParseUpdateText(updateBuf, static_cast<std::size_t>(updateLen), elements, LogLine)) return;
  ApplyUpdate(elements, todayStr.c_str(), record);
  _5_Reg_PUT();
  _tolva_Reg_GET();
  LogLine(FormatMessageLine(record.r_message).c_str());
}

unsigned long __stdcall UpdateThreadFunc(void* commands) {
  const UpdateAddress updateUrl = AddressOf(TOLVA_UPDATE_HOST, "/tolva2/TOLVA_UPDATA.txt");
  const UpdateAddress homeUrl = HomeUrl();
  win::Text<320> failedLine;
  failedLine.Format("connect to %s failed..\r\n", SiteOf(TOLVA_HOME_HOST).c_str());
  // One fetch a run, ten seconds after start; then the thread ends.
  Sleep(5000);
  Sleep(5000);
  int length = 0;
  if (!http_fetch(updateUrl.c_str(), updateBuf, kUpdateBufBytes, length)) {
    updateLen = 0;
    updateBuf[0] = '\0';
    LogLine(failedLine.c_str());
    LogLine("updating failed,please check your network or firewal..\r\n");
    return 0;
  }
  updateLen = length;
  updateBuf[length] = '\0';
  _tolva_UPDATA();
  if (IsNewerVersion(record.r_ver, kProgramVersion))
    AnnounceNewVersion(homeUrl.c_str(), *static_cast<const UpdateCommands*>(commands));
  return 1;
}
