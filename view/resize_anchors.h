// Moves and stretches a form's controls as the form grows past the size it was laid out for:
// each corner of a control follows a fraction of the growth.
#pragma once

#include <vector>

#include <wx/gdicmn.h>

class wxWindow;

class CResizeAnchors {
 public:
  struct Anchor {
    double x, y;
  };
  static constexpr Anchor kTopLeft{0, 0}, kTopRight{1, 0}, kBottomLeft{0, 1}, kBottomRight{1, 1};

  // The size the controls' present places were laid out for.
  void SetBaseSize(const wxSize& size) { m_base = size; }
  // Remembers window's present place; its corners then follow topLeft and bottomRight.
  void Add(wxWindow* window, Anchor topLeft, Anchor bottomRight);
  // Places every control for a form of size (never smaller than the base).
  void Apply(const wxSize& size) const;

 private:
  struct Entry {
    wxWindow* window;
    wxRect rect;
    Anchor topLeft, bottomRight;
  };
  wxSize m_base;
  std::vector<Entry> m_entries;
};
