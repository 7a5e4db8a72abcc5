// The first copy's window: log, switch and exit buttons, hot keys, tick and tray callback.
#pragma once
#include "controls/icon_button.h"
#include "ui/desk_window.h"
#include "win/fixed_text.h"

class CMainDlg : public DeskWindow {
 public:
  CMainDlg();

 protected:
  BOOL OnInitDialog() override;
  bool PreTranslateMessage(MSG& msg) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool OnCommand(int id, int code) override;
  void OnTick() override;
  void OnTaskbarRestart() override;
  void OnSessionQuery(bool closeApp) override;
  void OnSessionEndCancelled() override;
  void OnSessionLeave() override;
  void OnTrayClick() override;

 private:
  // The keys in effect; returns the names of those that failed, each after a blank.
  win::Text<128> RegisterHotKeys();
  // Every way to exit comes here: asks first while the user's own windows are open on "desk new".
  void RequestExit(bool byUser);
  void FocusLog();
  void OnHotKey(int id);
  void ToggleTray();
  // The exit steps: noted first, a run in flight handed over, the second copy told to go; 200 ms
  // later (EndExit) it and its shell end, "Default" is shown, the window quits.
  void Exit(bool keepShell = false);
  void EndExit();
  // The one-second pause after start is over: the creation run and the update worker start.
  void OnStartTimer();
  void OnListenerRequest(WPARAM position);
  bool PaintMinimized();

  IconButton m_btnSwitch;
  IconButton m_btnExit;
  HICON m_hIcon;  // shared icon resource, never destroyed
  Settings m_settings{};  // read once at start
  bool m_asking = false;  // the exit question is open: further requests wait for its answer
  bool m_exitKeepsShell = false;
  unsigned long long m_lastTrayReAdd = 0;  // when the tick last re-added a missing tray icon
};
