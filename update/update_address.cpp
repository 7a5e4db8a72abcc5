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
