#include "update/update_worker.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include "services/log.h"
#include "services/tray.h"
#include "state/own_file.h"
#include "state/registry_store.h"
#include "update/http_fetch.h"
#include "update/update_parser.h"
#include "version/version.h"
#include "win/text.h"

// Static, so the buffer the worker needs can never be missing.
char updateBuf[kUpdateBufBytes];
int updateLen = 0;

namespace {

constexpr char kHomeUrl[] = "http://" TOLVA_HOME_HOST "/soft/tolva2/tolva2.htm";
constexpr char kUpdateUrl[] = "http://" TOLVA_UPDATE_HOST "/tolva2/TOLVA_UPDATA.txt";

void AnnounceNewVersion(UINT exitCommand) {
  win::Text<512> text;
  text.Format("更新地址:\r\n%s\r\n", kHomeUrl);
  LogLine(text.c_str());
  text.Format("多桌面已经有更新，请去官方网站升级\r\n%s", kHomeUrl);
  TrayIconBalloon("提示", text.c_str());
  // The user's default browser: the URL itself is opened by the shell, which may use COM on
  // this thread and expects it initialised, apartment-threaded.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteW(nullptr, L"open", win::FromAnsi(kHomeUrl).c_str(), nullptr, nullptr, SW_SHOW);
  if (SUCCEEDED(com)) CoUninitialize();
  text.Format("多桌面已有更新，请去官方网站升级\r\n%s", kHomeUrl);
  MessageBoxW(hMainWnd, win::FromAnsi(text.c_str()).c_str(), win::FromAnsi("提示").c_str(), MB_OK | MB_ICONINFORMATION);
  PostMessageW(hMainWnd, WM_COMMAND, exitCommand, 0);
}

}  // namespace

void _tolva_UPDATA() {
  static UpdateElements elements;  // an element missing from a later file keeps this value
  if (!ParseUpdateText(updateBuf, static_cast<std::size_t>(updateLen), elements, LogLine)) return;
  ApplyUpdate(elements, todayStr.c_str(), record);
  _5_Reg_PUT();
  _tolva_Reg_GET();
  LogLine(FormatMessageLine(record.r_message).c_str());
}

unsigned long __stdcall UpdateThreadFunc(void* exitCommand) {
  int fetchState = 0;  // 0 before the fetch, 1 after success, -1 after failure: one fetch a run
  for (;;) {
    Sleep(5000);
    Sleep(5000);
    if (fetchState == 0) {
      int length = 0;
      if (!http_fetch(kUpdateUrl, updateBuf, kUpdateBufBytes, length)) {
        updateLen = 0;
        fetchState = -1;
        updateBuf[0] = '\0';
        LogLine("connect to http://" TOLVA_HOME_HOST " failed..\r\n");
        LogLine("updating failed,please check your network or firewal..\r\n");
      } else {
        fetchState = 1;
        updateLen = length;
        updateBuf[length] = '\0';
        _tolva_UPDATA();
        if (IsNewerVersion(record.r_ver, kProgramVersion)) AnnounceNewVersion(*static_cast<const UINT*>(exitCommand));
      }
    }
    Sleep(1000);
  }
}
