#include "app/about_dlg.h"

#include <wx/button.h>
#include <wx/hyperlink.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>

#include "common/text_conv.h"
#include "res/app_ids.h"
#include "res/app_resources.h"

CAboutDlg::CAboutDlg(wxWindow* parent, const IVersionBlock* block)
    : wxDialog(parent, IDD_ABOUTBOX, "About TessaryAuthor") {
  const std::vector<std::pair<int, std::string>> texts = ReadAboutTexts(block);
  const auto line = [&](int id) {
    for (const auto& [textId, text] : texts)
      if (textId == id) return new wxStaticText(this, id, FromSystemText(text));
    return new wxStaticText(this, id, wxString());
  };

  auto* lines = new wxBoxSizer(wxVERTICAL);
  const auto addLine = [&](wxWindow* w) { lines->Add(w, 0, wxEXPAND | wxBOTTOM, FromDIP(3)); };
  addLine(line(IDC_APP_DESCRIPTION));
  addLine(line(IDC_FILE_VERSION));
  addLine(line(IDC_PRODUCT_VERSION));
  addLine(line(IDC_DATE));
  lines->Add(new wxStaticLine(this), 0, wxEXPAND | wxTOP | wxBOTTOM, FromDIP(5));
  addLine(line(IDC_COPYRIGHT));
  addLine(line(IDC_LEGAL));
  lines->Add(new wxStaticLine(this), 0, wxEXPAND | wxTOP | wxBOTTOM, FromDIP(5));
  m_linkWeb = new wxHyperlinkCtrl(this, IDC_WEB_LINK, "https://www.brevanta.example", "https://www.brevanta.example");
  m_linkMail = new wxHyperlinkCtrl(this, IDC_MAIL_LINK, "support@brevanta.example", "mailto:support@brevanta.example");
  addLine(m_linkWeb);
  addLine(m_linkMail);

  wxStaticBitmap* icon = nullptr;
  if (const res::IconResource* r = res::FindIcon(IDR_MAINFRAME))
    icon = new wxStaticBitmap(this, wxID_ANY, wxBitmap(r->xpm32));
  auto* ok = new wxButton(this, wxID_OK, "OK");
  ok->SetDefault();

  auto* row = new wxBoxSizer(wxHORIZONTAL);
  if (icon) row->Add(icon, 0, wxALL, FromDIP(10));
  row->Add(lines, 1, wxTOP | wxBOTTOM, FromDIP(10));
  row->Add(ok, 0, wxALL, FromDIP(10));
  SetSizerAndFit(row);
  CentreOnParent();
}

wxString CAboutDlg::GetLineText(int controlId) const {
  const wxWindow* w = FindWindow(controlId);
  return w ? w->GetLabel() : wxString();
}
