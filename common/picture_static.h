// A static control that shows a picture from the bytes of a whole image file (bmp, jpg, gif).
#pragma once

#include <wx/bitmap.h>
#include <wx/control.h>
#include <wx/image.h>

class CPictureStatic : public wxControl {
 public:
  CPictureStatic() = default;
  CPictureStatic(wxWindow* parent, wxWindowID id, const wxString& label = "No Image Loaded",
                 const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxDefaultSize);
  ~CPictureStatic() override = default;

  bool Create(wxWindow* parent, wxWindowID id, const wxString& label = "No Image Loaded",
              const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxDefaultSize);

  // Shows the picture in data; nullptr, 0 bytes or bytes that are not a picture show the
  // control's text instead. Nonzero when a picture is shown.
  int LoadPictureData(const unsigned char* data, int size);

  bool HasPicture() const { return m_image.IsOk(); }
  // A static: no tab stop, and a click does not take the focus.
  bool AcceptsFocus() const override { return false; }
  const wxImage& GetPicture() const { return m_image; }

 protected:
  wxSize DoGetBestSize() const override;

 private:
  void OnPaint(wxPaintEvent& event);

  wxImage m_image;
};
