#include "view/dialog_units.h"

#include <wx/anybutton.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/window.h>

wxRect DialogUnitsRect(wxWindow* parent, int x, int y, int cx, int cy) {
  return wxRect(parent->ConvertDialogToPixels(wxPoint(x, y)), parent->ConvertDialogToPixels(wxSize(cx, cy)));
}

void PlaceInDialogUnits(wxWindow* control, int x, int y, int cx, int cy) {
  wxRect r = DialogUnitsRect(control->GetParent(), x, y, cx, cy);
  const wxSize natural = control->GetBestSize();
  if (natural.y > r.height) {
    r.y -= (natural.y - r.height) / 2;
    r.height = natural.y;
  }
  // A control that shows its own text gets room for all of it (this font is wider than the one
  // the templates were measured in).
  const bool labelled = dynamic_cast<wxAnyButton*>(control) || dynamic_cast<wxCheckBox*>(control) ||
                        dynamic_cast<wxRadioButton*>(control) || dynamic_cast<wxStaticText*>(control);
  if (labelled && natural.x > r.width) r.width = natural.x;
  control->SetSize(r);
}
