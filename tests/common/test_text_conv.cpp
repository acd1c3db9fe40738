#include <gtest/gtest.h>

#include <clocale>
#include <random>

#include "common/text_conv.h"

namespace {

// Runs the checks under the given locale and puts the old one back.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) : m_old(std::setlocale(LC_ALL, nullptr)) {
    m_ok = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~LocaleScope() { std::setlocale(LC_ALL, m_old.c_str()); }
  bool ok() const { return m_ok; }

 private:
  std::string m_old;
  bool m_ok = false;
};

wxString U(const char* utf8) { return wxString::FromUTF8(utf8); }

// Byte sequences that are not well-formed UTF-8, though some decoders take them.
const char* const kMalformed[] = {
    "\xC0\x80",          // overlong NUL
    "\xC1\xBF",          // overlong
    "\xE0\x80\xAF",      // overlong '/'
    "\xED\xA0\x80",      // a surrogate
    "\xF4\x90\x80\x80",  // past U+10FFFF
    "\xF8\x88\x80\x80\x80",
    "\xE2\x82",  // cut short
    "\x80",      // a continuation byte alone
    "ok \xFF\xFE",
};

}  // namespace

// The texts do not depend on the locale the program runs in.
class TextConversion : public ::testing::TestWithParam<const char*> {};

TEST_P(TextConversion, Utf8TextsAreShownAsTheyAreAndGoBackUnchanged) {
  LocaleScope scope(GetParam());
  if (!scope.ok()) GTEST_SKIP() << "no locale " << GetParam();
  const std::string texts[] = {
      "",
      "CAL-0042",
      "Zweite Zeile \xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC \xE2\x9C\x93 \xE2\x80\x9Cquoted\xE2\x80\x9D",
      "\xF0\x9F\x94\xA7 four bytes, and \xC2\x81 a C1 control",
      std::string("with\0zero", 9),
      "\xEF\xBF\xBF \xF4\x8F\xBF\xBF",  // the last code points of their planes
  };
  for (const std::string& text : texts) {
    const wxString shown = FromSystemText(text);
    EXPECT_EQ(wxString::FromUTF8(text.data(), text.size()), shown) << text;
    EXPECT_EQ(text, ToSystemText(shown));
    EXPECT_TRUE(IsValidUtf8(text)) << text;
  }
  EXPECT_EQ(7u, FromSystemText("\xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC \xE2\x9C\x93").length());
}

TEST_P(TextConversion, EightBitTextsAreShownAsWindows1252AndLoseNothing) {
  LocaleScope scope(GetParam());
  if (!scope.ok()) GTEST_SKIP() << "no locale " << GetParam();
  const struct {
    std::string bytes;
    wxString shown;
  } cases[] = {
      {"Stra\xDF"
       "e \xE9t\xE9",
       U("Stra\xC3\x9F"
         "e \xC3\xA9t\xC3\xA9")},
      {"\x93quoted\x94 \x80 5 \x96 6 \x85",
       U("\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC 5 \xE2\x80\x93 6 \xE2\x80\xA6")},
      {"\x8A\x8C\x8E\x9A\x9C\x9E\x9F\x83\x99",
       U("\xC5\xA0\xC5\x92\xC5\xBD\xC5\xA1\xC5\x93\xC5\xBE\xC5\xB8\xC6\x92\xE2\x84\xA2")},
      // The bytes the code page leaves undefined are the C1 controls of their number.
      {"\x81\x8D\x8F\x90\x9D", U("\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D")},
      // One stray byte makes the whole text 8-bit, the UTF-8 looking part included.
      {"\xC3\xA4 \xE4", U("\xC3\x83\xC2\xA4 \xC3\xA4")},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(IsValidUtf8(c.bytes));
    EXPECT_EQ(c.shown, FromSystemText(c.bytes)) << c.bytes;
    // Taken back, a shown text is UTF-8 with the same characters.
    EXPECT_EQ(c.shown, FromSystemText(ToSystemText(c.shown)));
  }
  for (const char* malformed : kMalformed) {
    EXPECT_FALSE(IsValidUtf8(malformed)) << malformed;
    EXPECT_EQ(std::string(malformed).size(), FromSystemText(malformed).length()) << malformed;
  }

  // Every byte is a character of its own, and no two bytes look alike.
  std::string every;
  for (int i = 0x80; i < 0x100; ++i) every += static_cast<char>(i);
  const wxString shown = FromSystemText(every);
  ASSERT_EQ(every.size(), shown.length());
  for (size_t i = 0; i < shown.length(); ++i)
    for (size_t j = i + 1; j < shown.length(); ++j) EXPECT_NE(shown[i], shown[j]) << i << " " << j;
  EXPECT_EQ(wxUniChar(0xA0), shown[0x20]);
  EXPECT_EQ(wxUniChar(0xFF), shown[0x7F]);
}

TEST_P(TextConversion, FileNamesKeepTheirBytesExactly) {
  LocaleScope scope(GetParam());
  if (!scope.ok()) GTEST_SKIP() << "no locale " << GetParam();
  std::vector<std::string> names = {
      "/tmp/plain.rvq",
      "/tmp/Pr\xC3\xBC"
      "fstand \xE2\x9C\x93/Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC.rvq",
      "/tmp/Ordner\xE4/caf\xE9.sr",
      "\xF4\x80\x81\x81 a private-use character written as UTF-8",
  };
  for (const char* malformed : kMalformed) names.push_back(malformed);
  for (int i = 1; i < 0x100; ++i) names.push_back(std::string(1, static_cast<char>(i)));
  std::mt19937 random(7);
  for (int n = 0; n < 2000; ++n) {
    std::string name(1 + random() % 12, '\0');
    for (char& c : name) c = static_cast<char>(1 + random() % 255);
    names.push_back(name);
  }
  for (const std::string& name : names) {
    const wxString held = FromSystemPath(name);
    ASSERT_EQ(name, ToSystemPath(held)) << name;
    // A name that is valid UTF-8 is held as its characters, and taken from the toolkit as such.
    if (IsValidUtf8(name) && name.find("\xF4\x80") == std::string::npos) {
      EXPECT_EQ(wxString::FromUTF8(name.data(), name.size()), held) << name;
      EXPECT_EQ(name, ToSystemPath(wxString::FromUTF8(name.data(), name.size())));
    }
  }
  EXPECT_TRUE(FromSystemPath("").empty());
  EXPECT_TRUE(ToSystemPath(wxString()).empty());
}

TEST_P(TextConversion, NamesAndMessagesAreShownReadably) {
  LocaleScope scope(GetParam());
  if (!scope.ok()) GTEST_SKIP() << "no locale " << GetParam();
  // A name's bytes that are not UTF-8 are shown as Windows-1252, its UTF-8 as what it is.
  EXPECT_EQ(U("Gr\xC3\xBC\xC3\x9F"
              "e/caf\xC3\xA9 \xE2\x80\x9C"
              "1\xE2\x80\x9D.rvq"),
            ShownPath(FromSystemPath("Gr\xC3\xBC\xC3\x9F"
                                     "e/caf\xE9 \x93"
                                     "1\x94.rvq")));
  EXPECT_EQ(U("Varnix1"), ShownPath("Varnix1"));
  // A message that names such a file, or quotes an 8-bit text, reads the same way.
  EXPECT_EQ(U("/d/Gr\xC3\xBC\xC3\x9F"
              "e/caf\xC3\xA9.rvq\nis damaged \xE2\x80\x93 CAL-\xC3\xA9"),
            FromMessageText("/d/Gr\xC3\xBC\xC3\x9F"
                            "e/caf\xE9.rvq\nis damaged \xE2\x80\x93 CAL-\xE9"));
  EXPECT_EQ(U("plain"), FromMessageText("plain"));
}

std::string LocaleName(const ::testing::TestParamInfo<const char*>& locale) {
  return std::string(locale.param) == "C" ? "C" : "CUtf8";
}

INSTANTIATE_TEST_SUITE_P(Locales, TextConversion, ::testing::Values("C", "C.UTF-8"), LocaleName);
