#include "common/picture_static.h"

#include <algorithm>

#include <wx/dcbuffer.h>
#include <wx/log.h>
#include <wx/mstream.h>

namespace {

void EnsureHandlers() {
  if (!wxImage::FindHandler(wxBITMAP_TYPE_JPEG)) wxImage::AddHandler(new wxJPEGHandler);
  if (!wxImage::FindHandler(wxBITMAP_TYPE_GIF)) wxImage::AddHandler(new wxGIFHandler);
}

}  // namespace

CPictureStatic::CPictureStatic(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos,
                               const wxSize& size) {
  Create(parent, id, label, pos, size);
}

bool CPictureStatic::Create(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos,
                            const wxSize& size) {
  if (!wxControl::Create(parent, id, pos, size, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE)) return false;
  SetLabel(label);
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &CPictureStatic::OnPaint, this);
  return true;
}

int CPictureStatic::LoadPictureData(const unsigned char* data, int size) {
  m_image = wxImage();
  if (data && size > 0) {
    EnsureHandlers();
    wxLogNull quiet;  // a file that is no picture shows the text, not an error box
    wxMemoryInputStream in(data, static_cast<size_t>(size));
    wxImage image;
    if (image.LoadFile(in, wxBITMAP_TYPE_ANY) && image.IsOk()) m_image = image;
  }
  Refresh();
  return m_image.IsOk() ? 1 : 0;
}

wxSize CPictureStatic::DoGetBestSize() const { return FromDIP(wxSize(150, 110)); }

void CPictureStatic::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(wxBrush(GetParent() ? GetParent()->GetBackgroundColour() : GetBackgroundColour()));
  dc.Clear();
  const wxSize area = GetClientSize();
  if (m_image.IsOk() && area.x > 0 && area.y > 0) {
    // Scaled down to fit, never up, keeping its proportions, centred.
    const double scale = std::min(
        {1.0, static_cast<double>(area.x) / m_image.GetWidth(), static_cast<double>(area.y) / m_image.GetHeight()});
    const int w = std::max(1, static_cast<int>(m_image.GetWidth() * scale));
    const int h = std::max(1, static_cast<int>(m_image.GetHeight() * scale));
    const wxBitmap bmp(scale < 1.0 ? m_image.Scale(w, h, wxIMAGE_QUALITY_HIGH) : m_image);
    dc.DrawBitmap(bmp, (area.x - w) / 2, (area.y - h) / 2, true);
  } else {
    dc.SetFont(GetFont());
    dc.SetTextForeground(GetForegroundColour());
    const wxSize text = dc.GetTextExtent(GetLabel());
    dc.DrawText(GetLabel(), (area.x - text.x) / 2, (area.y - text.y) / 2);
  }
}
