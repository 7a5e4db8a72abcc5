// The flat owner-drawn push button of every dialog: an icon beside (or instead of) its caption,
// a raised frame while the pointer is over it, a sunken one while pressed.
#pragma once
#include <windows.h>

#include "win/control.h"

struct IconImage {
  HICON icon = nullptr;
  DWORD width = 0;   // pixels
  DWORD height = 0;  // pixels
};

class IconButton : public win::Control {
 public:
  IconButton();
  ~IconButton() override;

  // Loads icon resource `id` at its own size and assigns it. Returns AssignIcons' result.
  DWORD LoadIcons(UINT id);
  // Takes ownership of `icon`; 0 on success, 1 when the icon cannot be measured.
  DWORD AssignIcons(HICON icon);

 private:
  IconImage m_icon;
};
