#include <gtest/gtest.h>

#include <clocale>

#include "common/text_conv.h"

namespace {

// Runs the checks under the given locale and puts the old one back.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) : m_old(std::setlocale(LC_ALL, nullptr)) { m_ok = std::setlocale(LC_ALL, name) != nullptr; }
  ~LocaleScope() { std::setlocale(LC_ALL, m_old.c_str()); }
  bool ok() const { return m_ok; }

 private:
  std::string m_old;
  bool m_ok = false;
};

}  // namespace

TEST(TextConversion, ValidTextsRoundTripAndInvalidOnesAreNeverBlank) {
  for (const char* locale : {"C.UTF-8", "C"}) {
    LocaleScope scope(locale);
    if (!scope.ok()) continue;
    SCOPED_TRACE(locale);
    EXPECT_EQ(wxString("CAL-0042"), FromSystemText("CAL-0042"));
    EXPECT_EQ("CAL-0042", ToSystemText("CAL-0042"));
    EXPECT_TRUE(FromSystemText("").empty());

    // Latin-1 bytes are not valid UTF-8 (nor ASCII): they are shown as Latin-1.
    const std::string latin1 = "Stra\xDF" "e \xE9t\xE9";
    const wxString shown = FromSystemText(latin1);
    EXPECT_EQ(wxString::FromUTF8("Stra\xC3\x9F" "e \xC3\xA9t\xC3\xA9"), shown);
    // Where the encoding cannot hold the text, it goes back as the Latin-1 bytes it came from.
    if (std::string(locale) == "C") {
      EXPECT_EQ(latin1, ToSystemText(shown));
    }

    std::string every;
    for (int i = 1; i < 256; ++i) every += static_cast<char>(i);
    EXPECT_EQ(every.size(), FromSystemText(every).length());
  }
}

TEST(TextConversion, Utf8TextIsShownAsUtf8UnderAUtf8Locale) {
  LocaleScope scope("C.UTF-8");
  if (!scope.ok()) GTEST_SKIP() << "no UTF-8 locale";
  const std::string utf8 = "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC";
  EXPECT_EQ(wxString::FromUTF8(utf8.c_str()), FromSystemText(utf8));
  EXPECT_EQ(utf8, ToSystemText(FromSystemText(utf8)));
}
