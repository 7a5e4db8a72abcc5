#include "desktop/switching.h"

#include "desktop/desk_record.h"
#include "desktop/desk_rules.h"
#include "desktop/events.h"
#include "desktop/protocol.h"
#include "win/fixed_text.h"
#include "win/handles.h"

std::atomic<int> deadCount{0};
std::atomic<int> switchRefused{0};

namespace {

std::atomic<int> session{static_cast<int>(Session::Running)};

// The input desktop as the system reports it; `error` gets the reason when it cannot be opened.
InputDesk ReadInputDesk(DWORD* error) {
  win::Desktop input(OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
  if (!input) {
    *error = GetLastError();
    return InputDesk::Unreadable;
  }
  win::WideText<64> name;
  DWORD needed = 0;
  if (!GetUserObjectInformationW(input.get(), UOI_NAME, name.Buffer(), name.capacity() * sizeof(wchar_t), &needed))
    return InputDesk::Other;
  return ClassifyInputDesk(name.c_str());
}

}  // namespace

SwitchResult SwitchDesk() {
  DWORD inputError = 0;
  {
    DeskLock lock;
    DeskState& s = DeskRecord();
    if (s.defaultDesk && s.deskNewReady) {
      const InputDesk before = ReadInputDesk(&inputError);
      const SwitchTarget target = ChooseSwitchTarget(s.shown, before, s.inputTrusted);
      if (target == SwitchTarget::Refuse) return {SwitchOutcome::NoInput, inputError};
      const bool toNew = target == SwitchTarget::ToNew;
      // The shown desktop changes only with a switch that happened, so a refused switch does not
      // turn the next request around.
      if (SwitchDesktop(toNew ? s.deskNew.get() : s.defaultDesk)) {
        s.shown = toNew ? Desk::New : Desk::Default;
        DWORD ignored = 0;
        s.inputTrusted = InputConfirmsSwitch(s.inputTrusted, before, ReadInputDesk(&ignored), target);
      }
      return {SwitchOutcome::Switched, 0};
    }
  }
  switchRefused = 1;
  return {SwitchOutcome::NotReady, 0};
}

void TellSecondCopyToLeave() {
  NoteExit();  // the shell ended in the exit steps is not restarted
  SignalEvent(kSecondCopyEvents, kNotifyExitEvent);
  Sleep(200);  // lets the second copy leave by itself
}

BOOL ExitDesktops(bool keepShell) {
  NoteExit();
  DeskLock lock;
  DeskState& s = DeskRecord();
  if (s.newCopy) TerminateProcess(s.newCopy.get(), 0);
  if (s.explorer && !keepShell) TerminateProcess(s.explorer.get(), 1);
  return s.defaultDesk ? SwitchDesktop(s.defaultDesk) : FALSE;
}

bool ExitUnderWay() { return ExitNoted(); }

void SetSession(Session value) { session = static_cast<int>(value); }

bool SessionMayEnd() {
  return SessionHolds(static_cast<Session>(session.load()), GetSystemMetrics(SM_SHUTTINGDOWN) != 0);
}

void ShowDefaultDesktop() {
  win::Desktop home(OpenDesktopW(kDefaultDesktopNameW, 0, FALSE, DESKTOP_SWITCHDESKTOP));
  if (home) SwitchDesktop(home.get());
}
