// The second copy's life (pure logic): which failure of its hot keys the user need not hear of,
// whether the first copy starts an ended second copy again, and what the end says about the
// shown desktop.
#pragma once
#include "desktop/user_work.h"

// ERROR_HOTKEY_ALREADY_REGISTERED: the keys are taken in the table this registration went to.
constexpr unsigned long kHotKeyAlreadyRegistered = 1409;

// The second copy registers the switch and exit keys on "desk new" as well, since where hot keys
// belong to a desktop the first copy's never reach it. Where the table is one per session its
// registration fails with 1409: the first copy's keys already work there, and that is no fault.
// Every other failure leaves "desk new" without the key and is reported.
bool HotKeyFailureIsSilent(unsigned long error);

// What the first copy knows on its tick of the second copy it started.
struct CopyFacts {
  bool tracked = false;        // a second copy was started and is still watched
  bool ended = false;          // its process has ended
  bool runUnderWay = false;    // a creation run is under way: that run starts the copy
  bool exitUnderWay = false;   // the exit steps end the copy themselves
  bool sessionMayEnd = false;  // at logoff the system ends the processes; nothing restarts
};
enum class CopyAction {
  Nothing,  // running, or not ours to restart
  Restart,  // a new second copy, with a log line
  GiveUp,   // the bound is reached: one log line, then no more restarts
  Forget,   // ended, and the bound was reached before: only stop watching it
};
// The same bound as the shell's: at most 3 restarts in 5 minutes, then none for the rest of the run.
using CopyRestartLimiter = ShellRestartLimiter;
// Decides about an ended second copy; the limiter counts only the copies it lets restart.
CopyAction DecideCopyEnded(const CopyFacts& facts, CopyRestartLimiter& limiter, unsigned long long nowMs);

// A second copy that leaves by itself (the first copy fell silent, or "notify n exit" came from
// whichever process) shows "Default" first and ends with exit code 0; one that was killed or
// crashed left the screen as it was.
constexpr unsigned long kSecondCopyLeftItself = 0;
bool CopyShowedDefault(unsigned long exitCode);

// The second copy's partner: the process that started it (its parent), taken as the first copy
// only when it runs this program's file and started before it (a parent id can be reused).
struct ParentFacts {
  bool opened = false;         // the parent's id was found and the process opened
  bool sameProgram = false;    // its image is this program's file
  bool startedBefore = false;  // its start time lies before this copy's
};
bool AcceptParent(const ParentFacts& facts);

// The second copy leaves when its watched first copy has ended, and else after this many ticks in
// a row without the first copy's acknowledgement (a UI thread busy for seconds is not a dead one).
constexpr int kSecondCopySilentTicks = 30;
bool SecondCopyLeaves(bool parentEnded, int silentTicks);
