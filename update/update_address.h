// Where the update check goes, composed from the build's host options, where a redirect may lead,
// and the fetch's deadline (pure logic).
#pragma once
#include <cstdint>

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

// The update fetch's one deadline, kept on the system's millisecond tick count.
// Connecting, sending and every read of one fetch end within this time of its start.
constexpr std::uint32_t kFetchBudgetMs = 30000;

// Milliseconds left at `now` of a budget that began at `start`; 0 once it is spent. Both are
// readings of a 32-bit millisecond counter, which wraps after 49.7 days of uptime: the time spent
// is their difference modulo 2^32, so a fetch across the wrap keeps its budget.
constexpr std::uint32_t MsLeft(std::uint32_t start, std::uint32_t now, std::uint32_t budget) {
  const std::uint32_t spent = now - start;
  return spent < budget ? budget - spent : 0;
}
