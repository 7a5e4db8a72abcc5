#include "controls/icon_button.h"

IconButton::IconButton() = default;

IconButton::~IconButton() {
  if (m_icon.icon) DestroyIcon(m_icon.icon);
}

DWORD IconButton::LoadIcons(UINT id) {
  auto icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  return AssignIcons(icon);
}

DWORD IconButton::AssignIcons(HICON icon) {
  if (m_icon.icon) DestroyIcon(m_icon.icon);
  m_icon = IconImage{};
  if (icon) {
    m_icon.icon = icon;
    SendMessageW(hwnd(), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
  }
  return 0;
}
