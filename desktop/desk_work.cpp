#include "desktop/desk_work.h"

#include <windows.h>

#include "desktop/make_desk.h"
#include "win/handles.h"

namespace {

struct Enumeration {
  UserWork work;
  wchar_t selfPath[MAX_PATH + 1];
};

// The image path of a process, empty when it cannot be read.
void ImagePath(DWORD pid, wchar_t (&path)[MAX_PATH + 1]) {
  path[0] = L'\0';
  win::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  DWORD length = MAX_PATH;
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &length)) path[0] = L'\0';
}

bool EndsWithFileName(const wchar_t* path, const wchar_t* name) {
  const wchar_t* slash = wcsrchr(path, L'\\');
  return lstrcmpiW(slash ? slash + 1 : path, name) == 0;
}

BOOL CALLBACK CollectUserWindow(HWND wnd, LPARAM param) {
  auto* e = reinterpret_cast<Enumeration*>(param);
  DeskWindowFacts facts;
  const LONG style = GetWindowLongW(wnd, GWL_STYLE);
  // The style bit, not IsWindowVisible: nothing on a desktop that is not shown counts as visible.
  facts.visibleStyle = (style & WS_VISIBLE) != 0;
  if (!facts.visibleStyle) return TRUE;
  // GetWindowText reads the title the system keeps, so a hung program cannot stall the exit.
  wchar_t title[256] = {};
  facts.titled = GetWindowTextW(wnd, title, 256) > 0;
  facts.owned = GetWindow(wnd, GW_OWNER) != nullptr;
  facts.appWindow = (GetWindowLongW(wnd, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0;
  wchar_t className[256] = {};
  GetClassNameW(wnd, className, 256);
  facts.className = className;
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  wchar_t image[MAX_PATH + 1];
  ImagePath(pid, image);
  facts.ofThisProgram = pid == GetCurrentProcessId() || (image[0] && lstrcmpiW(image, e->selfPath) == 0);
  facts.ofShell = image[0] && EndsWithFileName(image, L"explorer.exe");
  if (IsUserWindow(facts)) e->work.Add(title);
  return TRUE;
}

}  // namespace

UserWork FindUserWork() {
  Enumeration e;
  e.selfPath[0] = L'\0';
  DWORD length = MAX_PATH;
  if (!QueryFullProcessImageNameW(GetCurrentProcess(), 0, e.selfPath, &length)) e.selfPath[0] = L'\0';
  wchar_t name[32];
  MultiByteToWideChar(CP_ACP, 0, kNewDesktopName, -1, name, 32);
  win::Desktop desk(OpenDesktopW(name, 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE));
  if (desk) EnumDesktopWindows(desk.get(), CollectUserWindow, reinterpret_cast<LPARAM>(&e));
  return e.work;
}
