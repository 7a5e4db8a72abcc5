// What the two copies share by name: the desktops, the events between them and the switch state
// the first copy reports (pure logic).
#pragma once

// The desktops' names, as the system knows them. The wide forms are the same bytes widened.
#define TOLVA_DEFAULT_DESKTOP "Default"
#define TOLVA_NEW_DESKTOP "desk new"
constexpr char kDefaultDesktopName[] = TOLVA_DEFAULT_DESKTOP;
constexpr char kNewDesktopName[] = TOLVA_NEW_DESKTOP;
constexpr wchar_t kDefaultDesktopNameW[] = L"" TOLVA_DEFAULT_DESKTOP;
constexpr wchar_t kNewDesktopNameW[] = L"" TOLVA_NEW_DESKTOP;
// Each copy's window title and tray tip: the first copy's is its desktop's name in lower case.
constexpr char kFirstCopyTitle[] = "default";
constexpr char kSecondCopyTitle[] = TOLVA_NEW_DESKTOP;

// The events' groups: each copy waits on its own and only signals the other's.
enum EventGroup : int {
  kFirstCopyEvents = 0,   // created and waited on by the first copy
  kSecondCopyEvents = 1,  // created and waited on by the second copy
};
// Positions in the first copy's group.
enum FirstCopyEvent : int {
  kSwitchDeskEvent = 0,   // "switch desk"
  kExitTolvaEvent = 1,    // "exit tolva"
  kHelloEvent = 2,        // "tolva receive hello": the second copy is alive
  kHideMainEvent = 3,     // "hide m"
  kDeskNewOkEvent = 4,    // "desk n ok": the second copy's window is up
};
// Positions in the second copy's group.
enum SecondCopyEvent : int {
  kNull1Event = 0,        // "nnull1", never signalled
  kNotifyExitEvent = 1,   // "notify n exit"
  kAckEvent = 2,          // "ndesk receive ack": the first copy is alive
  kHideNewEvent = 3,      // "dide n", never signalled
  kMyOkEvent = 4,         // "tolva receive my ok", never signalled
};

// The first copy's switch state, as SwitchState() reports it.
enum SwitchStateValue : int {
  kSwitchNotReady = 0,  // no "desk new" yet, or a creation run is under way
  kSwitchOnDefault = 1,
  kSwitchOnNew = 2,
};
