// The smallest dialog program: one empty modal dialog from an in-memory template, nothing else.
// Built with the program's own flags and manifest, it is the floor that tools/bench.py sets the
// program's working set against under the same Wine. Closing the dialog ends it.
#include <windows.h>

namespace {

INT_PTR CALLBACK EmptyProc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_CLOSE) {
    EndDialog(hwnd, 0);
    return TRUE;
  }
  return msg == WM_INITDIALOG;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // DLGTEMPLATE, then empty menu and class, then the title; WORD-aligned as the template wants.
  struct {
    DLGTEMPLATE head;
    WORD menu, windowClass;
    wchar_t title[13];
  } dialog = {};
  dialog.head.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  dialog.head.cx = 153;
  dialog.head.cy = 74;
  const wchar_t title[] = L"empty dialog";
  for (unsigned i = 0; i < sizeof title / sizeof title[0]; ++i) dialog.title[i] = title[i];
  return static_cast<int>(DialogBoxIndirectParamW(instance, &dialog.head, nullptr, EmptyProc, 0));
}
