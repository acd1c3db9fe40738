#include "common/text_conv.h"

#include <wx/strconv.h>

namespace {

wxString Decode(const std::string& text, const wxMBConv& conv) {
  if (text.empty()) return wxString();
  wxString s(text.data(), conv, text.size());
  if (s.empty()) s = wxString(text.data(), wxConvISO8859_1, text.size());
  return s;
}

std::string Encode(const wxString& text, const wxMBConv& conv) {
  if (text.empty()) return std::string();
  for (const wxMBConv* c : {&conv, static_cast<const wxMBConv*>(&wxConvISO8859_1)}) {
    const wxScopedCharBuffer b = text.mb_str(*c);
    if (b.length() > 0) return std::string(b.data(), b.length());
  }
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

}  // namespace

wxString FromSystemText(const std::string& text) { return Decode(text, wxConvLibc); }
std::string ToSystemText(const wxString& text) { return Encode(text, wxConvLibc); }
wxString FromSystemPath(const std::string& path) { return Decode(path, *wxConvFileName); }
std::string ToSystemPath(const wxString& path) { return Encode(path, *wxConvFileName); }
