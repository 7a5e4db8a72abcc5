#include "update/http_fetch.h"

#include <windows.h>

#include <wininet.h>

#include <cstring>

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

// Runs on the update worker only. Null when the library or one of its functions is missing.
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

void SetDwordOption(const WinInet& net, HINTERNET h, DWORD option, DWORD value) {
  net.SetOption(h, option, &value, sizeof value);
}

}  // namespace

int http_fetch(const char* url, char* buffer, int capacity, int& length) {
  if (!url || !buffer || capacity <= 0) return 0;
  const WinInet* loaded = LoadWinInet();
  if (!loaded) return 0;
  const WinInet& net = *loaded;
  InternetHandle session(net.Open(L"tolva2", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return 0;
  SetDwordOption(net, session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
  SetDwordOption(net, session.get(), INTERNET_OPTION_CONNECT_RETRIES, 1);
  SetDwordOption(net, session.get(), INTERNET_OPTION_SEND_TIMEOUT, kTransferTimeoutMs);
  SetDwordOption(net, session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferTimeoutMs);

  const auto wideUrl = win::FromAnsi<512>(url);
  if (wideUrl.empty()) return 0;
  win::WideText<256> host;
  win::WideText<1024> path;
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.Buffer();
  parts.dwHostNameLength = host.capacity() + 1;
  parts.lpszUrlPath = path.Buffer();
  parts.dwUrlPathLength = path.capacity() + 1;
  if (!net.CrackUrl(wideUrl.c_str(), 0, 0, &parts)) return 0;
  const INTERNET_PORT port = parts.nPort ? parts.nPort : INTERNET_DEFAULT_HTTP_PORT;

  InternetHandle connection(
      net.Connect(session.get(), host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1));
  if (!connection) return 0;
  InternetHandle request(net.OpenRequest(connection.get(), L"GET", path.c_str()[0] ? path.c_str() : L"/", nullptr, nullptr, nullptr,
                                          INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 1));
  if (!request) return 0;
  // Set on the request too: a session's time-outs did not bound a request that the server accepted
  // and never answered, which held the worker until the server closed.
  SetDwordOption(net, request.get(), INTERNET_OPTION_SEND_TIMEOUT, kTransferTimeoutMs);
  SetDwordOption(net, request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferTimeoutMs);
  if (!net.SendRequest(request.get(), nullptr, 0, nullptr, 0)) return 0;

  DWORD status = 0;
  DWORD size = sizeof status;
  if (!net.QueryInfo(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    return 0;
  if (status != 200) return 0;

  win::HeapMemory chunk(HeapAlloc(GetProcessHeap(), 0, kChunk));
  if (!chunk) return 0;
  length = 0;
  const int room = capacity - 1;  // the caller terminates the text
  for (;;) {
    DWORD got = 0;
    if (!net.ReadFile(request.get(), chunk.get(), kChunk, &got)) return 0;
    if (got == 0) break;
    const int take = static_cast<int>(got) < room - length ? static_cast<int>(got) : room - length;
    std::memcpy(buffer + length, chunk.get(), static_cast<size_t>(take));
    length += take;
    if (length == room) break;  // the rest does not fit: keep what does
  }
  return 1;
}
