// The user's own windows on "desk new", looked up from any desktop.
#pragma once
#include "desktop/user_work.h"

// The windows on "desk new" that the user works in (see IsUserWindow); none when the desktop
// cannot be opened.
UserWork FindUserWork();
