// What the two long-lived windows, the first copy's and the second copy's, share.
#pragma once
#include <windows.h>

#include "desktop/listener.h"

// The window commands both listeners send: the ids of ui/ids.h.
extern const ListenerCommands kListenerCommands;

// The answer to a diagnostic query (WM_TOLVA_QUERY) of either window; `okSent` is the second
// copy's readiness report (always 0 in the first copy).
LRESULT AnswerQuery(WPARAM selector, int okSent);
