// The flat owner-drawn push button of every dialog: an icon beside (or instead of) its caption,
// a raised frame while the pointer is over it, a sunken one while pressed.
#pragma once
#include <windows.h>

#include "win/dialog.h"
#include "win/handles.h"

struct IconImage {
  win::Icon icon;
  DWORD width = 0;   // pixels
  DWORD height = 0;  // pixels
};

// The dialog's one tooltip window, shown even while the dialog is inactive. The dialog owns it:
// it goes when the dialog does.
HWND CreateTooltips(HWND dialog);

class IconButton : public win::Control {
 public:
  // Loads icon resource `id` for the button's DPI and assigns it: at 100 % the group's first
  // image at its own size, at other scales that size scaled, from the image made for it.
  // Returns AssignIcons' result.
  DWORD LoadIcons(UINT id);
  // Loads the last icon again for `dpi` (the window moved to a monitor of another scale).
  void Rescale(UINT dpi);
  // Takes ownership of `icon`; 0 on success, 1 when the icon cannot be measured (it is then
  // destroyed). A null icon clears the picture and succeeds.
  DWORD AssignIcons(HICON icon);
  // Gives an icon-only button its action as window text, read by screen readers but not drawn,
  // and a tooltip in `tips` (CreateTooltips).
  void Describe(const wchar_t* name, HWND tips, const wchar_t* tip);
  // Leaves the hover state, repainting when it was on.
  void EndHover();

  // A click takes the focus and still reaches the dialog.
  bool OnReflectedCommand(UINT code) override;
  bool OnReflectedDrawItem(const DRAWITEMSTRUCT& item) override;
  // The button paints its whole face itself, so nothing may erase it first.
  bool OnReflectedCtlColor(HDC dc, LRESULT& brush) override;

 protected:
  // Turns the template's push button into an owner-drawn one, remembering whether it was the
  // default button.
  void OnAttached() override;
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  // A double click arrives as a second press, so it gives two clicks.
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  DWORD LoadIconsAt(UINT id, UINT dpi);
  void OnMouseMove(WPARAM flags, LPARAM point);
  void MoveFocusOn();
  LRESULT OnSetStyle(WPARAM style, LPARAM redraw);
  void DrawItem(const DRAWITEMSTRUCT& item);
  void DrawFrame(HDC dc, const RECT& area, bool sunken) const;
  void DrawIcon(HDC dc, const RECT& image, bool disabled) const;
  void DrawCaption(HDC dc, const wchar_t* caption, RECT box, bool disabled) const;

  BOOL m_mouseOver = FALSE;
  BOOL m_isDefault = FALSE;
  BOOL m_nameOnly = FALSE;  // the window text names the button for screen readers; not drawn
  UINT m_iconId = 0;        // resource of the icon, loaded again when the DPI changes
  IconImage m_icon;
};
