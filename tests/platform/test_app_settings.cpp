// The program's values in the profile: what makes no sense is left out or brought into range,
// and what is written comes back.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/app_settings.h"
#include "res/app_ids.h"

namespace {

using Files = std::vector<std::string>;

TEST(RecentFiles, ReadSkipsEmptyAndRepeatedNamesAndStopsAtTheLimit) {
  const ProfileContents c(
      "[Recent\\ File\\ List]\n"
      "file1=/a.rvq\n"
      "file2=\n"
      "file3=/a.rvq\n"
      "file4=/b c.rvq\n"
      "file5=/beyond.rvq\n"
      "other=/x.rvq\n");
  EXPECT_EQ((Files{"/a.rvq", "/b c.rvq"}), ReadRecentFiles(c, 4));
  EXPECT_EQ((Files{"/a.rvq"}), ReadRecentFiles(c, 2));
  EXPECT_EQ(Files{}, ReadRecentFiles(ProfileContents(), 4));
}

TEST(RecentFiles, WrittenAsTheToolkitWroteThem) {
  ProfileContents c;
  WriteRecentFiles(c, {"/home/u/a.rvq", "/b.rvq"}, 4);
  EXPECT_EQ("[Recent\\ File\\ List]\nfile1=/home/u/a.rvq\nfile2=/b.rvq\nfile3=\nfile4=\n", c.Text());
  WriteRecentFiles(c, {"/c.rvq"}, 4);
  EXPECT_EQ((Files{"/c.rvq"}), ReadRecentFiles(c, 4));
}

TEST(RecentFiles, AFileGoesOnTopOnceAndTheListKeepsItsLength) {
  const Files four = {"/1", "/2", "/3", "/4"};
  EXPECT_EQ((Files{"/5", "/1", "/2", "/3"}), WithRecentFile(four, "/5", 4));
  EXPECT_EQ((Files{"/3", "/1", "/2", "/4"}), WithRecentFile(four, "/3", 4));
  EXPECT_EQ((Files{"/x"}), WithRecentFile({}, "/x", 4));
  EXPECT_EQ((Files{"/1", "/3", "/4"}), WithoutRecentFile(four, "/2"));
  EXPECT_EQ(four, WithoutRecentFile(four, "/9"));
}

TEST(ColumnWidths, WidthsThatMakeNoSenseAreLeftOutOrBroughtIntoRange) {
  const struct {
    const char* text;
    std::vector<int> widths;
  } cases[] = {
      {"", {}},
      {"120,80", {120, 80}},
      {" 120 , 80 ", {120, 80}},
      {"2147483647,80", {kMaxColumnWidth, 80}},
      {"99999999999999999999,80", {0, 80}},
      {"-5,80", {0, 80}},
      {"0,90", {0, 90}},
      {"abc,12px,1e3", {0, 0, 0}},
      {",", {0, 0}},
      {"10001", {kMaxColumnWidth}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.widths, ParseColumnWidths(c.text));
  }
  EXPECT_EQ(kMaxColumns, ParseColumnWidths(std::string(100000, ',')).size());
  EXPECT_EQ("123,77", FormatColumnWidths({123, 77}));
  EXPECT_EQ((std::vector<int>{123, 77}), ParseColumnWidths(FormatColumnWidths({123, 77})));
}

TEST(WindowPlacementEntries, OnlyWholeNumbersAndARealSizeMakeAPlacement) {
  const auto read = [](const std::string& text) {
    return ReadWindowPlacement(ProfileContents("[WindowPlacement]\n" + text));
  };
  const std::optional<WindowPlacement> p = read("Left=100\nTop=-20\nWidth=700\nHeight=500\nShowCmd=3\n");
  ASSERT_TRUE(p);
  EXPECT_EQ((WindowPlacement{{100, -20, 700, 500}, SW_SHOWMAXIMIZED}), *p);
  const char* const unusable[] = {
      "Left=100\nTop=120\nWidth=700\nHeight=500\n",                    // no show command
      "Left=100\nTop=120\nWidth=0\nHeight=500\nShowCmd=1\n",           // no width
      "Left=100\nTop=120\nWidth=-700\nHeight=500\nShowCmd=1\n",        // a negative one
      "Left=x\nTop=120\nWidth=700\nHeight=500\nShowCmd=1\n",           // not a number
      "Left=100\nTop=120\nWidth=700\nHeight=5000000000\nShowCmd=1\n",  // beyond int
      "Left=100\nTop=120\nWidth=700px\nHeight=500\nShowCmd=1\n",       // not only a number
  };
  for (const char* text : unusable) EXPECT_FALSE(read(text)) << text;

  // What is written comes back.
  ProfileContents c;
  const WindowPlacement saved{{-3000, 12, 640, 480}, SW_SHOWNORMAL};
  WriteWindowPlacement(c, saved);
  EXPECT_EQ("[WindowPlacement]\nLeft=-3000\nTop=12\nWidth=640\nHeight=480\nShowCmd=1\n", c.Text());
  EXPECT_EQ(std::optional<WindowPlacement>(saved), ReadWindowPlacement(c));
}

TEST(WindowPlacementEntries, AnyPlacementReadIsFittedOntoTheScreen) {
  const std::vector<WindowRect> screen = {{0, 0, 1280, 1024}};
  for (const char* text : {"Left=2147483647\nTop=-2147483648\nWidth=2147483647\nHeight=1\nShowCmd=-7\n",
                           "Left=-2147483648\nTop=2147483647\nWidth=1\nHeight=2147483647\nShowCmd=2\n"}) {
    const std::optional<WindowPlacement> p =
        ReadWindowPlacement(ProfileContents(std::string("[WindowPlacement]\n") + text));
    ASSERT_TRUE(p) << text;
    const WindowPlacement fit = FitPlacement(*p, screen);
    EXPECT_EQ(SW_SHOWNORMAL, fit.showCmd);
    EXPECT_GE(fit.normal.x, 0);
    EXPECT_GE(fit.normal.y, 0);
    EXPECT_LE(fit.normal.x + fit.normal.width, 1280);
    EXPECT_LE(fit.normal.y + fit.normal.height, 1024);
    EXPECT_GT(fit.normal.width, 0);
    EXPECT_GT(fit.normal.height, 0);
  }
}

TEST(CommandBarsEntries, WhatIsWrittenComesBackAndJunkKeepsTheDefaults) {
  CommandBarsState s = CommandBarsState::Defaults();
  s.toolbarVisible = false;
  s.standardButtons = {ID_FILE_CLOSE, 0, ID_FILE_NEW};
  s.AssignKey(ID_FILE_CLOSE, "Ctrl+W");
  ProfileContents c("[CommandBars]\nObsolete=1\n");
  WriteCommandBars(c, s);
  EXPECT_EQ(nullptr, c.Find("CommandBars", "Obsolete"));
  EXPECT_EQ(s, ReadCommandBars(ProfileContents(c.Text())));

  const CommandBarsState defaults = CommandBarsState::Defaults();
  const char* const junk[] = {
      "StandardButtons=57600,99999\n",       // not a command
      "StandardButtons=57600,2147483648\n",  // not a number
      "Keys=57600=Ctrl+N\\t57601=\n",        // no key
      "Keys=57600=Ctrl+\\n\n",               // a control character
      "Keys=99999=Ctrl+N\n",                 // not a command
  };
  for (const char* text : junk) {
    SCOPED_TRACE(text);
    const CommandBarsState read = ReadCommandBars(ProfileContents(std::string("[CommandBars]\n") + text));
    EXPECT_EQ(defaults.standardButtons, read.standardButtons);
    EXPECT_EQ(defaults.keys, read.keys);
  }
  // Lists beyond their limits.
  std::string many = "[CommandBars]\nStandardButtons=0";
  for (std::size_t i = 0; i < CommandBarsState::kMaxButtons; ++i) many += ",0";
  EXPECT_EQ(defaults.standardButtons, ReadCommandBars(ProfileContents(many)).standardButtons);
  const std::string longKey = "[CommandBars]\nKeys=57600=" + std::string(CommandBarsState::kMaxKeyText + 1, 'A') + "\n";
  EXPECT_EQ(defaults.keys, ReadCommandBars(ProfileContents(longKey)).keys);
  // Flags other than 0 and 1 keep theirs.
  EXPECT_TRUE(ReadCommandBars(ProfileContents("[CommandBars]\nToolbarVisible=yes\n")).toolbarVisible);
}

}  // namespace
