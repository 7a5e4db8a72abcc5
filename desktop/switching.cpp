#include "desktop/switching.h"

#include <utility>

#include "desktop/desk_rules.h"
#include "desktop/events.h"
#include "desktop/protocol.h"
#include "win/fixed_text.h"
#include "win/handles.h"

int deadCount = 0;
int switchRefused = 0;

namespace {

Session gSession = Session::Running;

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
  NoteExitUnderWay();  // the shell ended in the exit steps is not restarted
  SignalEvent(kSecondCopyEvents, kNotifyExitEvent);
}

BOOL ExitDesktops(bool keepShell) {
  NoteExitUnderWay();
  DeskState& s = DeskRecord();
  if (s.newCopy) TerminateProcess(s.newCopy.get(), 0);
  if (s.explorer && !keepShell) TerminateProcess(s.explorer.get(), 1);
  return s.defaultDesk ? SwitchDesktop(s.defaultDesk) : FALSE;
}

void SetSession(Session value) { gSession = value; }

bool SessionMayEnd() { return SessionHolds(gSession, GetSystemMetrics(SM_SHUTTINGDOWN) != 0); }

void ShowDefaultDesktop() {
  win::Desktop home(OpenDesktopW(kDefaultDesktopNameW, 0, FALSE, DESKTOP_SWITCHDESKTOP));
  if (home) SwitchDesktop(home.get());
}

namespace {
DeskState gDeskState;
}  // namespace

void NoteExitUnderWay() { gDeskState.exitUnderWay = true; }
bool ExitUnderWay() { return gDeskState.exitUnderWay; }

DeskState& DeskRecord() { return gDeskState; }

bool OpenStartupDesktops() {
  HDESK opened = OpenDesktopW(kDefaultDesktopNameW, 0, FALSE, DESKTOP_CREATEWINDOW | DESKTOP_SWITCHDESKTOP);
  DeskRecord().openedDefault.reset(opened);
  DeskRecord().defaultDesk = opened ? opened : GetThreadDesktop(GetCurrentThreadId());
  return opened != nullptr;
}

HDESK DefaultDesktop() { return DeskRecord().defaultDesk; }

bool TrackedShellRunning() {
  const DeskState& s = DeskRecord();
  return s.explorer && WaitForSingleObject(s.explorer.get(), 0) == WAIT_TIMEOUT;
}

void EndDesktopRun(DeskRun&& run) {
  DeskState& s = DeskRecord();
  if (ExitUnderWay()) {
    if (run.newCopy) TerminateProcess(run.newCopy.get(), 0);
    if (run.explorer && !run.explorerAdopted) TerminateProcess(run.explorer.get(), 1);
    return;
  }
  s.shellWaitSince = ShellWaitAfterRun(s.shellWaitSince, run.shellDecided, run.shellWaiting, GetTickCount64());
  if (run.desk) {
    s.deskNew = std::move(run.desk);  // closes the handle of the run before
    s.deskNewReady = true;
  }
  // A failed start leaves the record of the earlier run in place.
  if (run.explorer) s.explorer = std::move(run.explorer);
  if (run.newCopy) s.newCopy = std::move(run.newCopy);
}

int SwitchState() {
  const DeskState& s = DeskRecord();
  if (!s.defaultDesk || !s.deskNewReady) return kSwitchNotReady;
  return s.shown == Desk::Default ? kSwitchOnDefault : kSwitchOnNew;
}
