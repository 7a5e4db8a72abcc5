#include "update/update_address.h"

#include <cctype>

namespace {

// True when `text` starts with `scheme` (small letters), in any case.
bool StartsWithScheme(const char* text, const char* scheme) {
  for (; *scheme; ++text, ++scheme)
    if (std::tolower(static_cast<unsigned char>(*text)) != *scheme) return false;
  return true;
}

}  // namespace

UpdateAddress SiteOf(const char* hostOption) {
  const char* host = hostOption ? hostOption : "";
  const char* scheme = "http://";
  if (StartsWithScheme(host, "https://")) {
    scheme = "https://";
    host += 8;
  } else if (StartsWithScheme(host, "http://")) {
    host += 7;
  }
  UpdateAddress site(scheme);
  site.Append(host);
  return site;
}

UpdateAddress AddressOf(const char* hostOption, const char* path) {
  UpdateAddress address = SiteOf(hostOption);
  address.Append(path);
  return address;
}

namespace {

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Units of "scheme://host[:port]" at the start of `url`; 0 when it has no "://".
std::size_t SiteLength(const wchar_t* url) {
  std::size_t i = 0;
  while (url[i] && !(url[i] == L':' && url[i + 1] == L'/' && url[i + 2] == L'/')) ++i;
  if (!url[i]) return 0;
  i += 3;
  while (url[i] && url[i] != L'/') ++i;
  return i;
}

bool TakePath(const wchar_t* from, RedirectTarget& path) {
  path.clear();
  path.Append(from);
  return !from[path.size()];  // all of it, not a cut
}

}  // namespace

bool RedirectPath(const wchar_t* url, const wchar_t* location, RedirectTarget& path) {
  if (!url || !location) return false;
  // "//host/p" names another host with the same scheme.
  if (location[0] == L'/') return location[1] != L'/' && TakePath(location, path);
  const std::size_t site = SiteLength(url);
  if (site == 0) return false;
  for (std::size_t i = 0; i < site; ++i)
    if (AsciiLower(location[i]) != AsciiLower(url[i])) return false;  // stops at location's end too
  // Anything else after the site would make it another host ("site@host", "site0").
  return location[site] == L'/' && TakePath(location + site, path);
}
