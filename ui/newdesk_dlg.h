// The second copy's window on "desk new": a switch-back button, a tray icon, and the heartbeat
// with the first copy.
#pragma once
#include "controls/icon_button.h"
#include "win/dialog.h"

class CNewDeskDlg : public win::Dialog {
 public:
  CNewDeskDlg();

 protected:
  BOOL OnInitDialog() override;
  bool PreTranslateMessage(MSG& msg) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void OnTick();

  IconButton m_btnSwitch;
  int m_okSent = 0;  // "desk n ok" sent since start or the taskbar's restart
};
