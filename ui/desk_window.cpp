#include "ui/desk_window.h"

#include "app/tray.h"
#include "desktop/switching.h"
#include "ui/ids.h"

const ListenerCommands kListenerCommands = {IDC_SWITCH, IDC_EXIT, HK_TRAY};

LRESULT AnswerQuery(WPARAM selector, int okSent) {
  switch (selector) {
    case kQuerySwitchState:
      return SwitchState();
    case kQueryDeadCount:
      return deadCount;
    case kQuerySwitchRefused:
      return switchRefused;
    case kQueryTrayShown:
      return TrayIconShown();
    case kQueryOkSent:
      return okSent;
  }
  return -1;
}
