#include "desktop/copy_rules.h"

bool HotKeyFailureIsSilent(unsigned long error) { return error == kHotKeyAlreadyRegistered; }

CopyAction DecideCopyEnded(const CopyFacts& facts, CopyRestartLimiter& limiter, unsigned long long nowMs) {
  if (!facts.tracked || !facts.ended || facts.runUnderWay) return CopyAction::Nothing;
  if (facts.exitUnderWay || facts.sessionMayEnd) return CopyAction::Nothing;
  switch (limiter.OnShellEnded(nowMs)) {
    case CopyRestartLimiter::Verdict::Restart:
      return CopyAction::Restart;
    case CopyRestartLimiter::Verdict::GiveUp:
      return CopyAction::GiveUp;
    case CopyRestartLimiter::Verdict::GivenUp:
      break;
  }
  return CopyAction::Forget;
}

bool CopyShowedDefault(unsigned long exitCode) { return exitCode == kSecondCopyLeftItself; }

bool AcceptParent(const ParentFacts& facts) { return facts.opened && facts.sameProgram && facts.startedBefore; }

bool SecondCopyLeaves(bool parentEnded, int silentTicks) {
  return parentEnded || silentTicks >= kSecondCopySilentTicks;
}
