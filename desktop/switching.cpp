#include "desktop/switching.h"

#include "desktop/desk_record.h"
#include "desktop/desk_rules.h"
#include "desktop/events.h"
#include "desktop/protocol.h"
#include "win/fixed_text.h"
#include "win/handles.h"

int deadCount = 0;
int switchRefused = 0;

namespace {

Session session = Session::Running;

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

SwitchResult SwitchDesk(SwitchRequest request) {
  DWORD inputError = 0;
  if (ExitUnderWay()) return {SwitchOutcome::ExitUnderWay, 0, false};
  {
    DeskState& s = DeskRecord();
    if (s.defaultDesk && s.deskNewReady) {
      const InputDesk before = ReadInputDesk(&inputError);
      const bool fromNew = WhereUserIs(s.shown, before, s.inputTrusted) == InputDesk::New;
      const SwitchTarget target = ChooseSwitchTarget(s.shown, before, s.inputTrusted, request);
      if (target == SwitchTarget::Refuse) return {SwitchOutcome::NoInput, inputError, false};
      if (target == SwitchTarget::Stay) {
        if (s.inputTrusted) s.shown = fromNew ? Desk::New : Desk::Default;
        return {SwitchOutcome::AlreadyShown, 0, fromNew};
      }
      const bool toNew = target == SwitchTarget::ToNew;
      // The shown desktop changes only with a switch that happened, so a refused switch does not
      // turn the next request around.
      if (SwitchDesktop(toNew ? s.deskNew.get() : s.defaultDesk)) {
        s.shown = toNew ? Desk::New : Desk::Default;
        DWORD ignored = 0;
        s.inputTrusted = InputConfirmsSwitch(s.inputTrusted, before, ReadInputDesk(&ignored), target);
      }
      return {SwitchOutcome::Switched, 0, fromNew};
    }
  }
  // Only a plain switch request counts as refused: a named one comes from the exit question.
  if (request == SwitchRequest::Other) switchRefused = 1;
  return {SwitchOutcome::NotReady, 0, false};
}

void TellSecondCopyToLeave() {
  NoteExit();  // the shell ended in the exit steps is not restarted
  SignalEvent(kSecondCopyEvents, kNotifyExitEvent);
}

BOOL ExitDesktops(bool keepShell) {
  NoteExit();
  DeskState& s = DeskRecord();
  if (s.newCopy) TerminateProcess(s.newCopy.get(), 0);
  if (s.explorer && !keepShell) TerminateProcess(s.explorer.get(), 1);
  return s.defaultDesk ? SwitchDesktop(s.defaultDesk) : FALSE;
}

bool ExitUnderWay() { return ExitNoted(); }

void SetSession(Session value) { session = value; }

bool SessionMayEnd() { return SessionHolds(session, GetSystemMetrics(SM_SHUTTINGDOWN) != 0); }

void ShowDefaultDesktop() {
  win::Desktop home(OpenDesktopW(kDefaultDesktopNameW, 0, FALSE, DESKTOP_SWITCHDESKTOP));
  if (home) SwitchDesktop(home.get());
}
