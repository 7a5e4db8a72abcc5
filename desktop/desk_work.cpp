#include "desktop/desk_work.h"

#include <windows.h>

#include "desktop/protocol.h"
#include "win/fixed_text.h"
#include "win/handles.h"
#include "win/text.h"

namespace {

using ImagePath = win::WideText<MAX_PATH + 1>;

struct Enumeration {
  UserWork work;
  ImagePath self;
};

// The image path of a process; empty when it cannot be read.
ImagePath ImageOf(HANDLE process) {
  ImagePath path;
  DWORD length = MAX_PATH;
  if (process && QueryFullProcessImageNameW(process, 0, path.Buffer(), &length)) path.SetLength(length);
  return path;
}

// Whether the window manager keeps the window out of sight (a suspended store app, a window of
// another virtual desktop). DwmGetWindowAttribute is looked up, not linked: Windows 7 must start,
// and it knows no cloaking anyway. dwmapi.dll by full path, from the system folder only.
bool Cloaked(HWND wnd) {
  using GetAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, PVOID, DWORD);
  constexpr DWORD kCloakedAttribute = 14;  // DWMWA_CLOAKED, Windows 8 and later
  // Initialised at run time without a guard: only the UI thread asks for the user's windows.
  static const GetAttributeFn getAttribute = []() -> GetAttributeFn {
    win::WideText<MAX_PATH + 16> path;
    const UINT length = GetSystemDirectoryW(path.Buffer(), MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return nullptr;
    path.SetLength(length);
    path.Append(L"\\dwmapi.dll");
    const HMODULE dwm = LoadLibraryW(path.c_str());  // kept for the process's life
    return dwm ? reinterpret_cast<GetAttributeFn>(
                     reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")))
               : nullptr;
  }();
  DWORD cloaked = 0;
  return getAttribute && SUCCEEDED(getAttribute(wnd, kCloakedAttribute, &cloaked, sizeof cloaked)) && cloaked != 0;
}

bool HasFileName(const ImagePath& path, const wchar_t* name) {
  const wchar_t* slash = wcsrchr(path.c_str(), L'\\');
  return lstrcmpiW(slash ? slash + 1 : path.c_str(), name) == 0;
}

BOOL CALLBACK CollectUserWindow(HWND wnd, LPARAM param) {
  auto* e = reinterpret_cast<Enumeration*>(param);
  DeskWindowFacts facts;
  // The style bit, not IsWindowVisible: nothing on a desktop that is not shown counts as visible.
  facts.visibleStyle = (GetWindowLongW(wnd, GWL_STYLE) & WS_VISIBLE) != 0;
  if (!facts.visibleStyle) return TRUE;
  // GetWindowText reads the title the system keeps, so a hung program cannot stall the exit.
  win::WideText<256> title;
  title.SetLength(static_cast<size_t>(GetWindowTextW(wnd, title.Buffer(), 256)));
  facts.titled = !title.empty();
  facts.owned = GetWindow(wnd, GW_OWNER) != nullptr;
  const LONG exStyle = GetWindowLongW(wnd, GWL_EXSTYLE);
  facts.appWindow = (exStyle & WS_EX_APPWINDOW) != 0;
  facts.toolWindow = (exStyle & WS_EX_TOOLWINDOW) != 0;
  facts.cloaked = Cloaked(wnd);
  win::WideText<257> className;  // class names are at most 256 characters
  className.SetLength(static_cast<size_t>(GetClassNameW(wnd, className.Buffer(), 257)));
  facts.className = className.c_str();
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  const win::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  const ImagePath image = ImageOf(process.get());
  facts.ofThisProgram =
      pid == GetCurrentProcessId() || (!image.empty() && lstrcmpiW(image.c_str(), e->self.c_str()) == 0);
  facts.ofShell = !image.empty() && HasFileName(image, L"explorer.exe");
  if (IsUserWindow(facts)) e->work.Add(title.c_str(), facts.ofShell);
  return TRUE;
}

}  // namespace

UserWork FindUserWork() {
  Enumeration e;
  e.self = ImageOf(GetCurrentProcess());
  win::Desktop desk(OpenDesktopW(kNewDesktopNameW, 0, FALSE,
                                 DESKTOP_READOBJECTS | DESKTOP_ENUMERATE));
  if (desk) EnumDesktopWindows(desk.get(), CollectUserWindow, reinterpret_cast<LPARAM>(&e));
  return e.work;
}
