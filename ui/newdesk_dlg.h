// The second copy's window on "desk new": a switch-back button, a tray icon, and the heartbeat
// with the first copy.
#pragma once
#include "controls/icon_button.h"
#include "ui/desk_window.h"
#include "win/handles.h"

class CNewDeskDlg : public DeskWindow {
 public:
  CNewDeskDlg();

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool OnCommand(int id, int code) override;
  void OnTick() override;
  void OnTaskbarRestart() override;
  void OnSessionLeave() override;

 private:
  // The switch keys and the exit key on "desk new" too; a failure other than the first copy's
  // keys already reaching this desktop is told in one balloon.
  void RegisterHotKeys();
  void OnHotKey(int id);
  // Leaves by itself: "Default" first (nobody is stranded on "desk new"), unless the session may
  // be ending, which must not switch desktops.
  void Leave();
  // The watched first copy has ended (false while none is watched).
  bool FirstCopyEnded() const;
  void LeaveWithFirstCopy();

  IconButton m_btnSwitch;
  win::Handle m_firstCopy;  // the first copy that started this one, when accepted
  Settings m_settings{};    // read once at start
  bool m_leaving = false;   // the quit message is posted
};
