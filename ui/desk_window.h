// What the two long-lived windows, the first copy's and the second copy's, share: the start, the
// tick, the tray icon and its clicks, the taskbar's restart, close-to-hide, the screen's changes,
// the session's end, the diagnostic query and Enter/Esc. Each window adds only what differs.
#pragma once
#include <windows.h>

#include <initializer_list>

#include "controls/icon_button.h"
#include "desktop/events.h"
#include "state/settings.h"
#include "win/dialog.h"

// The message both listeners post: WM_TOLVA_REQUEST of ui/ids.h.
extern const ListenerCommands kListenerCommands;

// One of the windows' hot keys: its id and the action whose key in effect it carries.
struct DeskHotKey {
  int id;
  KeyAction action;
};

class DeskWindow : public win::Dialog {
 protected:
  // `trayIconId` is the icon resource of the tray (loaded again at each scale); `buttons` are
  // the window's picture buttons, rescaled with it (at most kMaxButtons).
  DeskWindow(UINT templateId, int trayIconId, std::initializer_list<IconButton*> buttons);
  ~DeskWindow() = default;

  // Start of either window: it becomes hMainWnd, gets the taskbar's "TaskbarCreated" notice (let
  // through to an elevated copy's window too), stays on top and takes deskNameStr as its title.
  void BeginDeskWindow();
  // The tick's part: an icon missing from the tray is added again. True while it is shown.
  static bool KeepTrayIcon();
  // Registers `key` as hot key `id` of this window: 0 (also for no key), or the system's error. A
  // held key acts once (MOD_NOREPEAT); systems before Windows 7 refuse the flag and get the key
  // without it.
  DWORD RegisterDeskKey(int id, HotKeyCode key);

  // Enter and Esc never end the two long-lived windows.
  bool PreTranslateMessage(MSG& msg) override;
  // The screen's changes, the session's end and the diagnostic query.
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  // The taskbar's restart, close-to-hide, the tick and the tray icon's clicks.
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

  // Once a second (IDT_TICK).
  virtual void OnTick() = 0;
  // The taskbar restarted and took the tray icon with it; the base notes the loss.
  virtual void OnTaskbarRestart();
  // The session may end (`closeApp`: the Restart Manager asks this program to close); the
  // answer is yes whatever this does.
  virtual void OnSessionQuery(bool /*closeApp*/) {}
  // A logoff or shutdown was called off.
  virtual void OnSessionEndCancelled() {}
  // The Restart Manager closes this program: leave as "exit anyway" does.
  virtual void OnSessionLeave() = 0;
  // A click on the tray icon brought the window to the front.
  virtual void OnTrayClick() {}

  int okSent_ = 0;  // second copy: "desk n ok" sent since start or the taskbar's restart

 private:
  // The screen changed under the window. Another scale (WM_DPICHANGED): the suggested rectangle,
  // the buttons' icons and the tray icon loaded for it, then the dialog manager's own scaling.
  // Another scale, work area (the taskbar moved) or resolution (docking, Remote Desktop): back
  // into the corner, as at start. Other colours or theme: repainted. True for WM_DPICHANGED,
  // answered here (with 0); the others still go on to the default processing.
  bool FollowScreenChange(UINT msg, WPARAM wp, LPARAM lp);
  // Logoff, shutdown and the Restart Manager. The query is answered yes: from then until the end
  // comes or is called off nothing leaves, is restarted or ended. True for WM_QUERYENDSESSION and
  // WM_ENDSESSION, answered here.
  bool FollowSessionEnd(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  LRESULT AnswerQuery(WPARAM selector) const;

  static constexpr int kMaxButtons = 2;
  IconButton* buttons_[kMaxButtons] = {};
  int buttonCount_ = 0;
  int trayIconId_;
};

// The long-lived windows' place: the bottom-right corner of the work area.
// Moves `wnd` to the bottom-right corner of the work area, size unchanged, without repainting.
BOOL PlaceWindow(HWND wnd);
// Hides `wnd` and puts it back in its corner, where it shows up again.
void HideToCorner(HWND wnd);
