#include "win/dialog.h"

#include <commctrl.h>

namespace win {

namespace {
constexpr UINT_PTR kSubclassId = 1;
}

INT_PTR Dialog::DoModal() {
  HWND created = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), nullptr,
                                    DialogProc, reinterpret_cast<LPARAM>(this));
  if (!created) return -1;

  // A dialog that was never shown during its initialisation is shown once, when its loop starts.
  // One that was shown and then hidden again (a close handled while start-up waited on another
  // process) stays hidden.
  if (!ended_ && !everShown_) ShowWindow(created, SW_SHOWNORMAL);

  MSG msg;
  while (!ended_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT ends the dialog, and with it the process
    if (PreTranslateMessage(msg)) continue;
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (hwnd_) DestroyWindow(hwnd_);
  return result_;
}

void Dialog::EndDialog(INT_PTR result) {
  result_ = result;
  ended_ = true;
  // Wake the loop in case this ran inside a message sent from another thread.
  if (hwnd_) PostMessageW(hwnd_, WM_NULL, 0, 0);
}

LRESULT Dialog::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) { return DefSubclassProc(hwnd_, msg, wp, lp); }

void Dialog::Bind(int id, Control& control) {
  if (boundCount_ < kMaxBoundControls && control.Attach(GetDlgItem(hwnd_, id))) bound_[boundCount_++] = &control;
}

Control* Dialog::BoundControl(HWND child) const {
  if (!child) return nullptr;
  for (Control* c : bound_)
    if (c && c->hwnd() == child) return c;
  return nullptr;
}

LRESULT Dialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SHOWWINDOW:
      if (wp) everShown_ = true;
      break;
    case WM_COMMAND:
      if (Control* c = BoundControl(reinterpret_cast<HWND>(lp)))
        if (c->OnReflectedCommand(HIWORD(wp))) return 0;
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (Control* c = BoundControl(item ? item->hwndItem : nullptr))
        if (c->OnReflectedDrawItem(*item)) return TRUE;
      break;
    }
    case WM_CTLCOLORBTN:
      if (Control* c = BoundControl(reinterpret_cast<HWND>(lp))) {
        LRESULT brush = 0;
        if (c->OnReflectedCtlColor(reinterpret_cast<HDC>(wp), brush)) return brush;
      }
      break;
  }
  LRESULT result = 0;
  if (OnMessage(msg, wp, lp, result)) return result;
  if (msg == WM_COMMAND && OnCommand(LOWORD(wp), HIWORD(wp))) return TRUE;
  return DefWindowProc(msg, wp, lp);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lp) {
  if (msg != WM_INITDIALOG) return FALSE;
  auto* self = reinterpret_cast<Dialog*>(lp);
  self->hwnd_ = hwnd;
  SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(self));
  return self->OnInitDialog();
}

LRESULT CALLBACK Dialog::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<Dialog*>(ref);
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
    self->hwnd_ = nullptr;
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  return self->WindowProc(msg, wp, lp);
}

Control::~Control() { Detach(); }

bool Control::Attach(HWND hwnd) {
  if (!hwnd || hwnd_) return false;
  if (!SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
  hwnd_ = hwnd;
  OnAttached();
  return true;
}

void Control::Detach() {
  if (hwnd_) {
    RemoveWindowSubclass(hwnd_, SubclassProc, kSubclassId);
    hwnd_ = nullptr;
  }
}

LRESULT Control::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) { return DefSubclassProc(hwnd_, msg, wp, lp); }

LRESULT CALLBACK Control::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<Control*>(ref);
  if (msg == WM_NCDESTROY) {
    self->Detach();
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  return self->WindowProc(msg, wp, lp);
}

}  // namespace win
