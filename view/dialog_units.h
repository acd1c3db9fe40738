// Controls placed in dialog units, as the system's dialog and form templates give them.
#pragma once

#include <wx/gdicmn.h>

class wxWindow;

// The pixel rectangle of a dialog-unit place on parent (its font decides the unit).
wxRect DialogUnitsRect(wxWindow* parent, int x, int y, int cx, int cy);

// Puts control at its dialog-unit place on its parent. GTK draws some controls (check boxes,
// entries) taller than the templates' heights allow, and complains when squeezed: such a control
// gets its natural height, centred on its place, and a control with a text of its own at least
// its natural width.
void PlaceInDialogUnits(wxWindow* control, int x, int y, int cx, int cy);
