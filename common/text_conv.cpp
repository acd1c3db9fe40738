#include "common/text_conv.h"

#include <wx/strconv.h>

#include "platform/utf8.h"

namespace {

// Windows-1252 from 0x80 to 0x9F; the rest of the code page is Latin-1. The bytes it leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stay the C1 controls of the same number.
constexpr wchar_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

wchar_t Cp1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : static_cast<wchar_t>(byte);
}

wxString DecodeCp1252(std::string_view text) {
  wxString s;
  s.reserve(text.size());
  for (const char c : text) s += wxUniChar(Cp1252(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t n; !text.empty(); text.remove_prefix(n))
    if ((n = tessary::Utf8SequenceLength(text)) == 0) return false;
  return true;
}

wxString FromSystemText(const std::string& text) {
  if (IsValidUtf8(text)) return wxString::FromUTF8Unchecked(text.data(), text.size());
  return DecodeCp1252(text);
}

std::string ToSystemText(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

wxString FromMessageText(const std::string& message) {
  wxString s;
  s.reserve(message.size());
  for (std::string_view rest(message); !rest.empty();) {
    const size_t n = tessary::Utf8SequenceLength(rest);
    if (n == 0) {
      s += wxUniChar(Cp1252(static_cast<unsigned char>(rest.front())));
      rest.remove_prefix(1);
    } else {
      s += wxString::FromUTF8Unchecked(rest.data(), n);
      rest.remove_prefix(n);
    }
  }
  return s;
}

wxMBConv& FileNameConversion() {
  static wxMBConvUTF8 conversion(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);
  return conversion;
}

wxString FromSystemPath(const std::string& path) {
  if (path.empty()) return wxString();
  return wxString(path.data(), FileNameConversion(), path.size());
}

std::string ToSystemPath(const wxString& path) {
  if (path.empty()) return std::string();
  const wxScopedCharBuffer bytes = path.mb_str(FileNameConversion());
  return std::string(bytes.data(), bytes.length());
}

wxString ShownPath(const wxString& path) { return FromMessageText(ToSystemPath(path)); }
