// A child control of a dialog template bound to a C++ object by subclassing (the program's
// counterpart of attaching a control in data exchange). The parent dialog offers the control its
// own notifications first (reflection), then handles them itself.
#pragma once
#include <windows.h>

namespace win {

class Control {
 public:
  Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Subclasses `hwnd` into this object; OnAttached runs once the subclass is in place.
  bool Attach(HWND hwnd);
  HWND hwnd() const { return hwnd_; }

  // Reflected notifications, offered by the parent dialog. Return true to consume them.
  virtual bool OnReflectedCommand(UINT /*code*/) { return false; }
  virtual bool OnReflectedDrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
  virtual bool OnReflectedCtlColor(HDC /*dc*/, LRESULT& /*brush*/) { return false; }

 protected:
  // Controls are members of their dialog and never deleted through this base.
  ~Control();

  virtual void OnAttached() {}
  // Every message of the control passes here; what it leaves goes to DefWindowProc.
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProc(msg, wp, lp); }
  // The control's original window procedure.
  virtual LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR ref);
  void Detach();

  HWND hwnd_ = nullptr;
};

}  // namespace win
