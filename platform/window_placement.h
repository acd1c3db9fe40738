// The main window's placement as kept in the profile, and how a saved one is fitted onto the
// displays that are there now.
#pragma once

#include <vector>

struct WindowRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const WindowRect&) const = default;
};

// The show commands the profile stores.
enum ShowCommand : int { SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3 };

struct WindowPlacement {
  WindowRect normal;  // the window's size and place when neither minimised nor maximised
  int showCmd = SW_SHOWNORMAL;
  bool operator==(const WindowPlacement&) const = default;
};

// A saved placement made fit to show: a minimised window comes back normal, a maximised one
// stays maximised, and the normal rectangle is moved (and if need be shrunk) into the work area
// of the display it overlaps most, or of the first display when it overlaps none.
// workAreas[0] is the primary display.
WindowPlacement FitPlacement(const WindowPlacement& saved, const std::vector<WindowRect>& workAreas);

// The placement of a first start: a window of a comfortable size centred on the primary display.
WindowPlacement DefaultPlacement(const WindowRect& primaryWorkArea);
