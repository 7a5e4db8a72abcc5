#include "update/update_worker.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <wininet.h>

#include <cstring>
#include <cwchar>

#include "services/log.h"
#include "services/tray.h"
#include "state/registry_store.h"
#include "update/update_address.h"
#include "update/update_parser.h"
#include "version/version.h"
#include "win/fixed_text.h"
#include "win/handles.h"
#include "win/text.h"

// Static, so the buffer the worker needs can never be missing.
char updateBuf[kUpdateBufBytes];
int updateLen = 0;

namespace {

// Set by the worker once it announces a newer version; taken once by the UI thread's balloon.
LONG gNewsReady = 0;

UpdateAddress HomeUrl() { return AddressOf(TOLVA_HOME_HOST, "/soft/tolva2/tolva2.htm"); }

void AnnounceNewVersion(const char* homeUrl, const UpdateCommands& commands) {
  win::Text<512> text;
  text.Format("更新地址:\r\n%s\r\n", homeUrl);
  LogLine(text.c_str());
  // The balloon is the UI thread's, which owns the tray gRecord.
  InterlockedExchange(&gNewsReady, 1);
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
  if (InterlockedExchange(&gNewsReady, 0) == 0) return;  // not the worker's: nothing to show
  win::Text<512> text;
  text.Format("多桌面已经有更新，请去官方网站升级\r\n%s", HomeUrl().c_str());
  TrayIconBalloon("提示", text.c_str());
}

void _tolva_UPDATA() {
  static UpdateElements elements;  // an element missing from a later file keeps this value
  if (!ParseUpdateText(updateBuf, static_cast<std::size_t>(updateLen), elements, LogLine)) return;
  ApplyUpdate(elements, todayStr.c_str(), gRecord);
  _5_Reg_PUT();
  _tolva_Reg_GET();
  LogLine(FormatMessageLine(gRecord.r_message).c_str());
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
  if (IsNewerVersion(gRecord.r_ver, kProgramVersion))
    AnnounceNewVersion(homeUrl.c_str(), *static_cast<const UpdateCommands*>(commands));
  return 1;
}

namespace {

// WinInet is loaded for the one fetch and not before: the second copy never fetches, and the
// first copy does so once, ten seconds after start, so neither carries it from the start. It
// stays loaded afterwards; unloading it under its own background threads is not safe.
struct WinInet {
  decltype(&InternetOpenW) Open;
  decltype(&InternetSetOptionW) SetOption;
  decltype(&InternetSetStatusCallbackW) SetStatusCallback;
  decltype(&InternetCrackUrlW) CrackUrl;
  decltype(&InternetConnectW) Connect;
  decltype(&HttpOpenRequestW) OpenRequest;
  decltype(&HttpSendRequestW) SendRequest;
  decltype(&HttpQueryInfoW) QueryInfo;
  decltype(&InternetReadFile) ReadFile;
  decltype(&InternetCloseHandle) CloseHandle;
};

template <typename F>
bool Resolve(HMODULE module, const char* name, F* function) {
  *function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *function != nullptr;
}

// Runs on the update worker only, one fetch at a time. Null when the library or one of its
// functions is missing. Both statics are zero-initialised at load time, so no guard is needed.
const WinInet* LoadWinInet() {
  static WinInet api;
  static bool loaded = false;
  if (loaded) return &api;
  // From the system folder by full path, never from the program's or the current folder.
  win::WideText<MAX_PATH + 16> path;
  const UINT n = GetSystemDirectoryW(path.Buffer(), MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  path.SetLength(n);
  path.Append(L"\\wininet.dll");
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) return nullptr;
  loaded = Resolve(module, "InternetOpenW", &api.Open) && Resolve(module, "InternetSetOptionW", &api.SetOption) &&
           Resolve(module, "InternetSetStatusCallbackW", &api.SetStatusCallback) &&
           Resolve(module, "InternetCrackUrlW", &api.CrackUrl) && Resolve(module, "InternetConnectW", &api.Connect) &&
           Resolve(module, "HttpOpenRequestW", &api.OpenRequest) &&
           Resolve(module, "HttpSendRequestW", &api.SendRequest) && Resolve(module, "HttpQueryInfoW", &api.QueryInfo) &&
           Resolve(module, "InternetReadFile", &api.ReadFile) &&
           Resolve(module, "InternetCloseHandle", &api.CloseHandle);
  return loaded ? &api : nullptr;
}

struct InternetTraits {
  static HINTERNET invalid() { return nullptr; }
  static bool valid(HINTERNET h) { return h != nullptr; }
  static void close(HINTERNET h) { LoadWinInet()->CloseHandle(h); }
};
using InternetHandle = win::Owned<HINTERNET, InternetTraits>;

constexpr DWORD kChunk = 10240;
constexpr DWORD kConnectTimeoutMs = 2000;
// A server that accepts and then stalls would otherwise hold the worker for minutes.
constexpr DWORD kTransferTimeoutMs = 15000;
// A server that sends the fetch round in circles is given up on sooner than the deadline.
constexpr int kMaxRedirects = 5;

// Nothing of the user's goes out: no cookie is sent or kept, no challenge is answered with the
// user's logon (NTLM, Negotiate) or any other credentials, and nothing asks the user. Redirects
// are the fetch's own business: it follows one only to the host it is connected to.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;

// WinInet runs the fetch asynchronously so that the deadline can end it: a server that trickles
// a byte now and then satisfies every per-read time-out, and only closing the request cancels a
// pending call. A call still pending at the deadline may complete after http_fetch returned,
// into this record and its chunk, so the record lives as long as the process.
struct PendingCall {
  HANDLE completed;  // auto-reset: the pending call has completed
  HANDLE closed;     // manual-reset: WinInet is done with the last request handle
  DWORD succeeded;   // the completed call's result
  DWORD got;         // bytes a read delivered, written when it completes
  char chunk[kChunk];
};
PendingCall gPending;

// Runs on WinInet's threads, or on the worker within a WinInet call.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD) {
  auto& call = *reinterpret_cast<PendingCall*>(context);
  if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
    call.succeeded = static_cast<const INTERNET_ASYNC_RESULT*>(info)->dwResult;
    SetEvent(call.completed);
  } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    SetEvent(call.closed);
  }
}

// True when the call started just before (with `completed` reset) succeeded at once, or
// completed successfully before the deadline.
bool Finished(BOOL started, DWORD fetchStart) {
  if (started) return true;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  const DWORD left = MsLeft(fetchStart, GetTickCount(), kFetchBudgetMs);
  return WaitForSingleObject(gPending.completed, left) == WAIT_OBJECT_0 && gPending.succeeded;
}

void SetDwordOption(const WinInet& net, HINTERNET h, DWORD option, DWORD value) {
  net.SetOption(h, option, &value, sizeof value);
}

}  // namespace

int http_fetch(const char* url, char* buffer, int capacity, int& length) {
  const DWORD start = GetTickCount();
  if (!url || !buffer || capacity <= 0) return 0;
  const WinInet* loaded = LoadWinInet();
  if (!loaded) return 0;
  const WinInet& net = *loaded;
  if (!gPending.completed) {
    gPending.completed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    gPending.closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!gPending.completed || !gPending.closed) return 0;
  }
  // A request abandoned at an earlier deadline may still call back into the gRecord.
  if (WaitForSingleObject(gPending.closed, 0) != WAIT_OBJECT_0) return 0;

  InternetHandle session(net.Open(L"tolva2", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
  if (!session) return 0;
  if (net.SetStatusCallback(session.get(), OnStatus) == INTERNET_INVALID_STATUS_CALLBACK) return 0;
  SetDwordOption(net, session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
  SetDwordOption(net, session.get(), INTERNET_OPTION_CONNECT_RETRIES, 1);
  SetDwordOption(net, session.get(), INTERNET_OPTION_SEND_TIMEOUT, kTransferTimeoutMs);
  SetDwordOption(net, session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferTimeoutMs);

  const auto wideUrl = win::FromAnsi<512>(url);
  if (wideUrl.empty()) return 0;
  win::WideText<256> host;
  RedirectTarget path;
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.Buffer();
  parts.dwHostNameLength = host.capacity() + 1;
  parts.lpszUrlPath = path.Buffer();
  parts.dwUrlPathLength = path.capacity() + 1;
  if (!net.CrackUrl(wideUrl.c_str(), 0, 0, &parts)) return 0;
  // Over HTTPS a certificate error fails the request: no SECURITY_FLAG_IGNORE_* is ever set.
  DWORD flags = kRequestFlags;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS)
    flags |= INTERNET_FLAG_SECURE;
  else if (parts.nScheme != INTERNET_SCHEME_HTTP)
    return 0;

  // No context for the connection: only the request's calls are waited for.
  InternetHandle connection(
      net.Connect(session.get(), host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return 0;
  InternetHandle request;
  RedirectTarget location;
  for (int redirects = 0;; ++redirects) {
    // The earlier request is closed first: one request at a time reports into `gPending`.
    request.reset();
    request.reset(net.OpenRequest(connection.get(), L"GET", path.c_str()[0] ? path.c_str() : L"/", nullptr, nullptr,
                                  nullptr, flags, reinterpret_cast<DWORD_PTR>(&gPending)));
    if (!request) return 0;
    ResetEvent(gPending.closed);
    // Set on the request too: a session's time-outs did not bound a request that the server
    // accepted and never answered, which held the worker until the server closed.
    SetDwordOption(net, request.get(), INTERNET_OPTION_SEND_TIMEOUT, kTransferTimeoutMs);
    SetDwordOption(net, request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferTimeoutMs);
    ResetEvent(gPending.completed);
    if (!Finished(net.SendRequest(request.get(), nullptr, 0, nullptr, 0), start)) return 0;

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!net.QueryInfo(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
      return 0;
    if (status == 200) break;
    const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    if (!redirect || redirects == kMaxRedirects) return 0;
    size = static_cast<DWORD>(sizeof(wchar_t) * (location.capacity() + 1));
    if (!net.QueryInfo(request.get(), HTTP_QUERY_LOCATION, location.Buffer(), &size, nullptr)) return 0;
    location.Buffer()[location.capacity()] = L'\0';
    location.SetLength(std::wcslen(location.Buffer()));
    if (!RedirectPath(wideUrl.c_str(), location.c_str(), path)) return 0;
  }

  length = 0;
  const int room = capacity - 1;  // the caller terminates the text
  for (;;) {
    // Reads that complete at once count against the deadline too.
    if (MsLeft(start, GetTickCount(), kFetchBudgetMs) == 0) return 0;
    gPending.got = 0;
    ResetEvent(gPending.completed);
    if (!Finished(net.ReadFile(request.get(), gPending.chunk, kChunk, &gPending.got), start)) return 0;
    const int got = static_cast<int>(gPending.got);
    if (got == 0) break;
    const int take = got < room - length ? got : room - length;
    std::memcpy(buffer + length, gPending.chunk, static_cast<size_t>(take));
    length += take;
    if (length == room) break;  // the rest does not fit: keep what does
  }
  return 1;
}
