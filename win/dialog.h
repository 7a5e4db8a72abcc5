// A modal dialog run by its own message loop, so that PreTranslateMessage sees every keystroke,
// and the child controls it binds to C++ objects.
//
// Every message of the dialog window passes WindowProc: notifications of bound controls are
// offered to the control first (reflection), then the class's handlers (OnMessage, the message
// map, then OnCommand) run, and whatever they leave goes to the virtual DefWindowProc, whose base
// is the dialog's original procedure.
#pragma once
#include <windows.h>

namespace win {

// A child control of a dialog template bound to a C++ object by subclassing (the program's
// counterpart of attaching a control in data exchange). The parent dialog offers the control its
// own notifications first (reflection), then handles them itself.
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

class Dialog {
 public:
  explicit Dialog(UINT templateId) : templateId_(templateId) {}
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Creates the dialog and runs its loop until EndDialog or WM_QUIT; returns the EndDialog value
  // (0 after WM_QUIT, -1 when the dialog could not be created).
  INT_PTR DoModal();
  HWND hwnd() const { return hwnd_; }
  // Ends the loop; the window is destroyed when DoModal returns.
  void EndDialog(INT_PTR result);

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // True swallows the message before the dialog manager sees it.
  virtual bool PreTranslateMessage(MSG& /*msg*/) { return false; }
  // The message map: true when the message was handled, with its result in `result`.
  virtual bool OnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/, LRESULT& /*result*/) { return false; }
  // WM_COMMAND, decoded once: the control or menu id and the notification code. True when
  // handled: the message then returns TRUE.
  virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
  // What the message map leaves. The base hands it to the dialog's own window procedure.
  virtual LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);

  // Dialogs live as locals of their own class and are never deleted through this base.
  ~Dialog() = default;

  // Binds the template's control `id` to `control` (call from OnInitDialog); at most
  // kMaxBoundControls per dialog. A control the template lacks stays unbound.
  void Bind(int id, Control& control);

 private:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
  Control* BoundControl(HWND child) const;
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR ref);

  UINT templateId_;
  HWND hwnd_ = nullptr;
  bool ended_ = false;
  bool everShown_ = false;
  INT_PTR result_ = 0;
  static constexpr int kMaxBoundControls = 8;
  Control* bound_[kMaxBoundControls] = {};
  int boundCount_ = 0;
};

}  // namespace win
