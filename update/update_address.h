// Where the update check goes, composed from the build's host options (pure logic).
#pragma once
#include "win/fixed_text.h"

// The worker's addresses fit 255 bytes.
using UpdateAddress = win::Text<256>;

// The site a host option names, as scheme and host with no trailing slash: "host[:port]" (or
// "http://host[:port]") is plain HTTP, "https://host[:port]" is HTTPS; the scheme is matched
// without regard to case and written in small letters.
UpdateAddress SiteOf(const char* hostOption);

// The site of the host option followed by `path`, which starts with "/".
UpdateAddress AddressOf(const char* hostOption, const char* path);
