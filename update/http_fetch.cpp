#include "update/http_fetch.h"

#include <windows.h>

#include <wininet.h>

#include <cstring>
#include <cwchar>

#include "update/fetch_deadline.h"
#include "update/update_address.h"
#include "win/fixed_text.h"
#include "win/handles.h"
#include "win/text.h"

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
PendingCall pending;

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
  return WaitForSingleObject(pending.completed, left) == WAIT_OBJECT_0 && pending.succeeded;
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
  if (!pending.completed) {
    pending.completed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    pending.closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!pending.completed || !pending.closed) return 0;
  }
  // A request abandoned at an earlier deadline may still call back into the record.
  if (WaitForSingleObject(pending.closed, 0) != WAIT_OBJECT_0) return 0;

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
    // The earlier request is closed first: one request at a time reports into `pending`.
    request.reset();
    request.reset(net.OpenRequest(connection.get(), L"GET", path.c_str()[0] ? path.c_str() : L"/", nullptr, nullptr,
                                  nullptr, flags, reinterpret_cast<DWORD_PTR>(&pending)));
    if (!request) return 0;
    ResetEvent(pending.closed);
    // Set on the request too: a session's time-outs did not bound a request that the server
    // accepted and never answered, which held the worker until the server closed.
    SetDwordOption(net, request.get(), INTERNET_OPTION_SEND_TIMEOUT, kTransferTimeoutMs);
    SetDwordOption(net, request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferTimeoutMs);
    ResetEvent(pending.completed);
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
    pending.got = 0;
    ResetEvent(pending.completed);
    if (!Finished(net.ReadFile(request.get(), pending.chunk, kChunk, &pending.got), start)) return 0;
    const int got = static_cast<int>(pending.got);
    if (got == 0) break;
    const int take = got < room - length ? got : room - length;
    std::memcpy(buffer + length, pending.chunk, static_cast<size_t>(take));
    length += take;
    if (length == room) break;  // the rest does not fit: keep what does
  }
  return 1;
}
