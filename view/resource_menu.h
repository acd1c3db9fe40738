// Menus built from the compiled-in menu tables, for the menu bars and for popup menus alike.
#pragma once

#include <cstddef>
#include <functional>

#include <wx/bitmap.h>
#include <wx/string.h>

class wxMenu;

// Popup number popupIndex of menu resource menuId with its items (toolkit ids, prompts as help),
// or nullptr when the resource has no such popup. title receives the popup's text. isCheck tells
// which commands are check items; bitmapFor gives an item its image (a null bitmap for none).
wxMenu* BuildResourcePopup(unsigned menuId, std::size_t popupIndex, wxString* title = nullptr,
                           const std::function<bool(int command)>& isCheck = {},
                           const std::function<wxBitmap(int command)>& bitmapFor = {});

// Where popups outside the main window take the image of a command: the main window installs
// its own bars' images here (the view may not know the main window). Empty source: no images.
void SetCommandBitmapSource(std::function<wxBitmap(int command)> source);
wxBitmap GetSourcedCommandBitmap(int command);
