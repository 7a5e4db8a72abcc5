// The second copy's window on "desk new": a switch-back button, a tray icon, and the heartbeat
// with the first copy.
#pragma once
#include "controls/icon_button.h"
#include "ui/desk_window.h"

class CNewDeskDlg : public DeskWindow {
 public:
  CNewDeskDlg();

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code) override;
  void OnTick() override;
  void OnTaskbarRestart() override;
  void OnSessionLeave() override;

 private:
  IconButton m_btnSwitch;
};
