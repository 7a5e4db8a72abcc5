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
  ~IconButton();

  // Loads icon resource `id` at its own size and assigns it. Returns AssignIcons' result.
  DWORD LoadIcons(UINT id);
  // Takes ownership of `icon`; 0 on success, 1 when the icon cannot be measured (it is then
  // destroyed). A null icon clears the picture and succeeds.
  DWORD AssignIcons(HICON icon);
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

  virtual void DrawItem(const DRAWITEMSTRUCT& item);
  virtual DWORD DrawBackground(HDC dc, const RECT& area);
  virtual DWORD DrawFrame(HDC dc, const RECT& area);

 private:
  void ReleaseIcon();
  void OnMouseMove(WPARAM flags, LPARAM point);
  void MoveFocusOn();
  LRESULT OnSetStyle(WPARAM style, LPARAM redraw);
  void DrawIcon(HDC dc, const RECT& image) const;
  void DrawCaption(HDC dc, const wchar_t* caption, RECT box) const;

  BOOL m_mouseOver = FALSE;
  BOOL m_pressed = FALSE;   // state of the last draw request
  BOOL m_focused = FALSE;   // state of the last draw request
  BOOL m_disabled = FALSE;  // state of the last draw request
  BOOL m_isDefault = FALSE;
  COLORREF m_faceColor;  // read once at construction
  COLORREF m_textColor;  // read once at construction
  IconImage m_icon;      // owned
};
