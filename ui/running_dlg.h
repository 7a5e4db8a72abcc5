// Shown by a further start while the first copy runs: switch, hide or show, exit, cancel.
#pragma once
#include "controls/icon_button.h"
#include "desktop/protocol.h"
#include "win/dialog.h"

class CRunningDlg : public win::Dialog {
 public:
  CRunningDlg();

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool OnCommand(int id, int code) override;

 private:
  void SignalAndClose(FirstCopyEvent k);
  // Moves the dialog to `origin` at the given size, kept whole inside the work area of the
  // monitor that holds `origin`.
  void MoveInsideWorkArea(POINT origin, int width, int height);

  IconButton m_btnSwitch;
  IconButton m_btnTray;
  IconButton m_btnExit;
  IconButton m_btnCancel;
};
