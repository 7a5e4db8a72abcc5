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

// Where a redirect from `url` may lead: only back to its own site (the same scheme, host and port,
// as written), given as a path ("/p") or as the site's full address with a path. Puts the path in
// `path` and returns true; returns false for any other place, or a path that does not fit.
using RedirectTarget = win::WideText<1024>;
bool RedirectPath(const wchar_t* url, const wchar_t* location, RedirectTarget& path);
