// The profile store: the file's text as the toolkit's configuration wrote it, values that reach
// the disk at once and are read from it each time, two stores (or two processes) on one file,
// and locations that cannot be written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/unwritable.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::optional<std::string> Value(const ProfileContents& c, const std::string& section, const std::string& entry) {
  const std::string* v = c.Find(section, entry);
  return v ? std::optional<std::string>(*v) : std::nullopt;
}

// A file as the toolkit's configuration wrote it (names and values with its escapes).
const char kWrittenByTheToolkit[] =
    "rootkey=root\n"
    "[Recent\\ File\\ List]\n"
    "file1=/home/u/d\xc3\xa9j\xc3\xa0 vu/a b.rvq\n"
    "file2=\n"
    "[Preferences]\n"
    "UpdatePath=\"  lead space\"\n"
    "SourceCalPath=trail space  \n"
    "AlwaysUseSourceCalFolder=1\n"
    "[Weird]\n"
    "quote=\"\\\"quoted\\\" and \\\\ back\\ttab\\nnl\\rcr\"\n"
    "q2=mid \"q\"\n"
    "name\\ with\\ space\\=eq\\[br\\]\\;\\#x=v\n"
    "caf\xc3\xa9=u8\n"
    "hash=#not a comment ;x\n"
    "empty=\n"
    "spaceonly=\" \"\n"
    "startquote=\"\\\"abc\"\n"
    "[Gr\\ \\[x\\]]\n"
    "k=g\n"
    "[CommandBars]\n"
    "Keys=57600=Ctrl+N\\t57601=Ctrl+O\n"
    "[A]\n"
    "[A/B]\n"
    "[A/B/C]\n"
    "k=deep\n";

struct Expected {
  const char* section;
  const char* entry;
  const char* value;
};

const Expected kToolkitValues[] = {
    {"", "rootkey", "root"},
    {"Recent File List", "file1", "/home/u/d\xc3\xa9j\xc3\xa0 vu/a b.rvq"},
    {"Recent File List", "file2", ""},
    {"Preferences", "UpdatePath", "  lead space"},
    {"Preferences", "SourceCalPath", "trail space  "},
    {"Preferences", "AlwaysUseSourceCalFolder", "1"},
    {"Weird", "quote", "\"quoted\" and \\ back\ttab\nnl\rcr"},
    {"Weird", "q2", "mid \"q\""},
    {"Weird", "name with space=eq[br];#x", "v"},
    {"Weird", "caf\xc3\xa9", "u8"},
    {"Weird", "hash", "#not a comment ;x"},
    {"Weird", "empty", ""},
    {"Weird", "spaceonly", " "},
    {"Weird", "startquote", "\"abc"},
    {"Gr [x]", "k", "g"},
    {"CommandBars", "Keys", "57600=Ctrl+N\t57601=Ctrl+O"},
    {"A/B/C", "k", "deep"},
};

TEST(ProfileContents, ReadsWhatTheToolkitWrote) {
  const ProfileContents c(kWrittenByTheToolkit);
  for (const Expected& e : kToolkitValues) {
    SCOPED_TRACE(std::string(e.section) + " / " + e.entry);
    EXPECT_EQ(std::optional<std::string>(e.value), Value(c, e.section, e.entry));
  }
  EXPECT_EQ(std::size(kToolkitValues), c.Entries().size());
  // Unchanged, the text is written back as it was.
  EXPECT_EQ(kWrittenByTheToolkit, c.Text());
}

TEST(ProfileContents, WritesAsTheToolkitWrote) {
  ProfileContents c;
  for (const Expected& e : kToolkitValues) ASSERT_TRUE(c.Set(e.section, e.entry, e.value)) << e.entry;
  // The toolkit also wrote the parents of a nested section, as empty sections of their own.
  std::string expected = kWrittenByTheToolkit;
  expected.erase(expected.find("[A]\n[A/B]\n"), 10);
  EXPECT_EQ(expected, c.Text());
}

TEST(ProfileContents, ReadsHandEditedFilesAsTheToolkitDid) {
  const struct {
    const char* what;
    std::string text;
    const char* section;
    const char* entry;
    std::optional<std::string> value;
  } cases[] = {
      {"white space around name and value; trailing kept", "  key  =  v1  \n", "", "key", "v1  "},
      {"a quote inside a quoted value goes", "k = \"quoted\" tail\n", "", "k", "quoted tail"},
      {"an unknown escape and a lone backslash stand for nothing", "k=a\\xb\\\n", "", "k", "ab"},
      {"an escaped quote", "k=\"ab\\\"c\"\n", "", "k", "ab\"c"},
      {"the last of two entries counts", "[G]\nk=1\nk=2\n", "G", "k", "2"},
      {"a section given twice is one", "[G]\nk=1\n[H]\n[g]\nj=2\n", "G", "j", "2"},
      {"names without regard to case", "[Prefs]\nPath=p\n", "PREFS", "path", "p"},
      {"comments", "; k=1\n# k=2\n  ;k=3\nk=4\n", "", "k", "4"},
      {"a header without its bracket changes nothing", "[G]\n[Bad\nk=1\n", "G", "k", "1"},
      {"nor is it a section", "[Bad\nk=1\n", "Bad", "k", std::nullopt},
      {"a line without '=' is no entry", "[G]\nnoequals\n", "G", "noequals", std::nullopt},
      {"an empty name is no entry", "[G]\n=v\n", "G", "", std::nullopt},
      {"text after a header is left out", "[G] junk ; c\nk=1\n", "G", "k", "1"},
      {"an escaped bracket in a header", "[a\\]b]\nk=1\n", "a]b", "k", "1"},
      {"[] is the root", "[G]\n[]\nk=1\n", "", "k", "1"},
      {"empty and dot parts of a section", "[/a//./b/]\nk=1\n", "a/b", "k", "1"},
      {"a section that goes up", "[a/../b]\nk=1\n", "b", "k", "1"},
      {"CR LF line ends", "[G]\r\nk=1\r\nj=2\r\n", "G", "k", "1"},
      {"CR line ends", "[G]\rk=1\rj=2", "G", "j", "2"},
      {"a byte-order mark", "\xEF\xBB\xBF[G]\nk=1\n", "G", "k", "1"},
      {"a NUL ends what a line says", std::string("[G]\nk=ab\0cd\n", 12), "G", "k", "ab"},
      {"an escaped space ends a name", "k\\ =1\n", "", "k ", "1"},
      {"an escaped '=' in a name", "a\\=b=c\n", "", "a=b", "c"},
      {"no line end at the end", "[G]\nk=last", "G", "k", "last"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.value, Value(ProfileContents(c.text), c.section, c.entry));
  }
}

TEST(ProfileContents, AnythingStorableComesBackAsWritten) {
  const std::vector<std::string> texts = {
      "plain",
      " lead",
      "trail ",
      "\"",
      "\"\"",
      "a\"b",
      "\\",
      "\\\\n",
      "tab\there",
      "line\nbreak",
      "cr\r",
      "=",
      "[x]",
      "]",
      ";c",
      "#c",
      "\xc3\xa9t\xc3\xa9",
      "\xff\xfe",
      "\x01\x7f",
      "\v",
      "C:\\dir\\",
      "  ",
      "a=b=c",
      "/slash/",
      "@_-!.*%()",
      "trailing backslash\\",
  };
  for (const std::string& t : texts) {
    SCOPED_TRACE(testing::PrintToString(t));
    ProfileContents c("; kept\n[Other]\nx=1\n");
    const bool nameOk = t.find_first_of("\r\n") == std::string::npos;
    EXPECT_EQ(nameOk, c.Set(t, t, t));
    EXPECT_TRUE(c.Set("Section", "entry", t));
    const ProfileContents back(c.Text());
    EXPECT_EQ(std::optional<std::string>(t), Value(back, "Section", "entry"));
    if (nameOk) {
      EXPECT_EQ(std::optional<std::string>(t), Value(back, t, t));
    }
    EXPECT_EQ(std::optional<std::string>("1"), Value(back, "Other", "x"));
    EXPECT_EQ(0u, back.Text().find("; kept\n"));
  }
}

TEST(ProfileContents, ANameThatStartsAsAByteOrderMarkIsNotTakenForOne) {
  const std::string name = std::string("\xEF\xBB\xBF") + "bom";
  ProfileContents c;
  ASSERT_TRUE(c.Set("", name, "1"));
  EXPECT_EQ(std::optional<std::string>("1"), Value(ProfileContents(c.Text()), "", name));
}

// Two marks: the reader takes off one, and the first line, which starts with the other, stays a
// line of its own through writing and reading again.
TEST(ProfileContents, AFirstLineThatStartsWithASecondByteOrderMarkKeepsIt) {
  const std::string bom = "\xEF\xBB\xBF";
  const ProfileContents read(bom + bom + "[G]\nk=1\n[H]\nk=2\n");
  EXPECT_EQ(std::nullopt, Value(read, "G", "k"));
  EXPECT_EQ(std::optional<std::string>("2"), Value(read, "H", "k"));
  const ProfileContents again(read.Text());
  EXPECT_EQ(read.Text(), again.Text());
  EXPECT_EQ(std::nullopt, Value(again, "G", "k"));
  EXPECT_EQ(std::optional<std::string>("2"), Value(again, "H", "k"));
}

TEST(ProfileContents, WhatTheFileCannotHoldIsRefused) {
  ProfileContents c("[G]\nk=1\n");
  EXPECT_FALSE(c.Set("G", "", "v"));
  EXPECT_FALSE(c.Set("G", "k", std::string("a\0b", 3)));
  EXPECT_FALSE(c.Set("G", "a\nb", "v"));
  EXPECT_FALSE(c.Set("G\r", "k", "v"));
  EXPECT_FALSE(c.ReplaceSection("G", {{"ok", "1"}, {"", "2"}}));
  EXPECT_EQ("[G]\nk=1\n", c.Text());
}

TEST(ProfileContents, ChangesKeepEveryOtherLine) {
  ProfileContents c(
      "; the user's note\n"
      "[Preferences]\n"
      "UpdatePath=/old/\n"
      "# about the next one\n"
      "[Recent File List]\r\n"
      "file1=/a.rvq\n"
      "unreadable line\n");
  EXPECT_TRUE(c.Set("preferences", "UpdatePath", "/new/"));
  EXPECT_TRUE(c.Set("Preferences", "SourceCalPath", "/cals/"));
  EXPECT_TRUE(c.Set("", "top", "1"));
  EXPECT_TRUE(c.Set("CTargetListCtrl_TSA", "Columns", "120,80"));
  EXPECT_EQ(
      "; the user's note\n"
      "top=1\n"
      "[Preferences]\n"
      "UpdatePath=/new/\n"
      "SourceCalPath=/cals/\n"
      "# about the next one\n"
      "[Recent File List]\n"
      "file1=/a.rvq\n"
      "unreadable line\n"
      "[CTargetListCtrl_TSA]\n"
      "Columns=120,80\n",
      c.Text());
}

TEST(ProfileContents, AReplacedSectionHoldsExactlyItsEntries) {
  ProfileContents c("[CommandBars]\nKeys=1\nGone=2\nGone=3\nToolbarVisible=0\n[Other]\nx=1\n");
  EXPECT_TRUE(c.ReplaceSection("CommandBars", {{"ToolbarVisible", "1"}, {"New", "n"}}));
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"ToolbarVisible", "1"}, {"New", "n"}}),
            c.Section("CommandBars"));
  EXPECT_EQ("[CommandBars]\nToolbarVisible=1\nNew=n\n[Other]\nx=1\n", c.Text());
}

TEST(ProfileContents, IntegersAreWholeNumbersWithinInt) {
  const struct {
    const char* text;
    int value;
  } cases[] = {{"1", 1},    {" 7 ", 7},    {"-3", -3},   {"+4", 4},          {"2147483647", 2147483647}, {"x", -9},
               {"", -9},    {"12abc", -9}, {"0x10", -9}, {"2147483648", -9}, {"-2147483649", -9},        {"+-1", -9},
               {"1.5", -9}, {"\"1\"", -9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ProfileContents p;
    ASSERT_TRUE(p.Set("S", "n", c.text));
    EXPECT_EQ(c.value, p.FindInt("S", "n", -9));
  }
  EXPECT_EQ(-9, ProfileContents().FindInt("S", "n", -9));
}

// ---------------------------------------------------------------- the file

class Profile : public TempFolderTest {
 protected:
  std::string ProfilePath() const { return (dir / "Brevanta" / "TessaryAuthor.conf").string(); }
};

TEST_F(Profile, TwoStoresOnOneFileSeeEachOthersWrites) {
  CProfile a(ProfilePath()), b(ProfilePath());
  EXPECT_EQ("none", a.GetProfileString("Preferences", "UpdatePath", "none"));
  // The folder is made by the first write.
  ASSERT_TRUE(a.WriteProfileString("Preferences", "UpdatePath", "/u/"));
  EXPECT_TRUE(fs::is_directory(dir / "Brevanta"));
  EXPECT_EQ("/u/", b.GetProfileString("Preferences", "UpdatePath"));
  ASSERT_TRUE(b.WriteProfileInt("Preferences", "AlwaysUseSourceCalFolder", 1));
  ASSERT_TRUE(a.WriteProfileString("Preferences", "SourceCalPath", "/s/"));
  // Neither write lost the other's value.
  for (const CProfile* p : {&a, &b}) {
    EXPECT_EQ("/u/", p->GetProfileString("Preferences", "UpdatePath"));
    EXPECT_EQ("/s/", p->GetProfileString("Preferences", "SourceCalPath"));
    EXPECT_EQ(1, p->GetProfileInt("Preferences", "AlwaysUseSourceCalFolder", 0));
  }
  // Every read looks at the file as it is now.
  WriteFile(ProfilePath(), "[Preferences]\nUpdatePath=/edited/\n");
  EXPECT_EQ("/edited/", a.GetProfileString("Preferences", "UpdatePath"));
  EXPECT_FALSE(a.HasProfileEntry("Preferences", "SourceCalPath"));
}

TEST_F(Profile, AWriteReplacesTheWholeFileAndKeepsWhatItDidNotChange) {
  fs::create_directories(dir / "Brevanta");
  WriteFile(ProfilePath(), std::string(kWrittenByTheToolkit));
  CProfile p(ProfilePath());
  ASSERT_TRUE(p.WriteProfileString("Weird", "q2", "changed"));
  std::string expected = kWrittenByTheToolkit;
  expected.replace(expected.find("q2=mid \"q\""), 10, "q2=changed");
  EXPECT_EQ(expected, ReadFile(ProfilePath()));
  // A write of the value that is there leaves the file alone (a written one is a new file).
  const auto inode = [&] {
    struct stat st {};
    ::stat(ProfilePath().c_str(), &st);
    return st.st_ino;
  };
  const ino_t before = inode();
  ASSERT_TRUE(p.WriteProfileString("Weird", "q2", "changed"));
  EXPECT_EQ(before, inode());
  ASSERT_TRUE(p.WriteProfileString("Weird", "q2", "again"));
  EXPECT_NE(before, inode());
}

// Two processes writing one profile at the same time: each read-change-write happens whole, so
// no value of either is lost.
TEST_F(Profile, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 150;
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      CProfile p(ProfilePath(), 20s);
      bool ok = true;
      for (int i = 0; i < kWrites; ++i)
        ok = p.WriteProfileInt("Copy" + std::to_string(child), "v" + std::to_string(i), i) && ok;
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const ProfileContents c = CProfile(ProfilePath()).Read();
  for (int child = 0; child < 2; ++child)
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(i, c.FindInt("Copy" + std::to_string(child), "v" + std::to_string(i), -1)) << child << " " << i;
}

// Another holder of the folder's lock: a write waits for it only so long, then is dropped and
// leaves the old value; once the lock is free the write goes through.
TEST_F(Profile, AWriteWaitsOnlyBrieflyForAnotherWriter) {
  CProfile p(ProfilePath(), 50ms);
  ASSERT_TRUE(p.WriteProfileString("S", "k", "old"));
  const int held = ::open((dir / "Brevanta").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(0, ::flock(held, LOCK_EX));
  EXPECT_FALSE(p.WriteProfileString("S", "k", "new"));
  // Reading does not wait for long either, and sees the file as it is.
  EXPECT_EQ("old", p.GetProfileString("S", "k"));
  ::close(held);
  EXPECT_TRUE(p.WriteProfileString("S", "k", "new"));
  EXPECT_EQ("new", p.GetProfileString("S", "k"));

  // A holder that lets go while the writer waits.
  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = ::open((dir / "Brevanta").c_str(), O_RDONLY | O_DIRECTORY);
    ::flock(fd, LOCK_EX);
    const char c = 1;
    if (::write(ready[1], &c, 1) != 1) ::_exit(1);
    ::usleep(100000);
    ::_exit(0);  // the lock goes with the process
  }
  char c = 0;
  ASSERT_EQ(1, ::read(ready[0], &c, 1));
  CProfile patient(ProfilePath(), 20s);
  EXPECT_TRUE(patient.WriteProfileString("S", "k", "after"));
  ::waitpid(holder, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ("after", p.GetProfileString("S", "k"));
}

TEST_F(Profile, AFailedWriteKeepsTheOldValueSilently) {
  CProfile p(ProfilePath());
  ASSERT_TRUE(p.WriteProfileString("Preferences", "UpdatePath", "/kept/"));
  const std::string before = ReadFile(ProfilePath());
  const fs::path folder = dir / "Brevanta";
  if (!MakeUnwritable(ProfilePath()) || !MakeUnwritable(folder)) {
    MakeWritable(folder);
    MakeWritable(ProfilePath());
    GTEST_SKIP() << "this file system cannot make a folder unwritable";
  }
  testing::internal::CaptureStderr();
  EXPECT_FALSE(p.WriteProfileString("Preferences", "UpdatePath", "/lost/"));
  EXPECT_FALSE(p.WriteProfileString("Preferences", "New", "x"));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  // What was there is still read.
  EXPECT_EQ("/kept/", p.GetProfileString("Preferences", "UpdatePath"));
  MakeWritable(folder);
  MakeWritable(ProfilePath());
  EXPECT_EQ(before, ReadFile(ProfilePath()));
  EXPECT_EQ((std::vector<std::string>{"TessaryAuthor.conf"}), [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
  }());
}

TEST_F(Profile, ALocationThatCannotBeMadeGivesDefaultsAndDropsWrites) {
  WriteFile(dir / "file", "a regular file");
  const std::string below = (dir / "file" / "config" / "Brevanta" / "TessaryAuthor.conf").string();
  CProfile p(below);
  testing::internal::CaptureStderr();
  EXPECT_EQ("d", p.GetProfileString("S", "k", "d"));
  EXPECT_FALSE(p.WriteProfileString("S", "k", "v"));
  EXPECT_FALSE(p.WriteProfileSection("S", {{"k", "v"}}));
  EXPECT_EQ(7, p.GetProfileInt("S", "k", 7));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ("a regular file", ReadFile(dir / "file"));
}

// Names that are no profile file: nothing waits on them and nothing is written over them.
TEST_F(Profile, WhatIsNoProfileFileIsNeitherReadNorWritten) {
  fs::create_directories(dir / "Brevanta");
  ASSERT_EQ(0, ::mkfifo(ProfilePath().c_str(), 0600));  // a reader would wait for a writer forever
  CProfile pipe(ProfilePath());
  EXPECT_EQ("d", pipe.GetProfileString("S", "k", "d"));
  EXPECT_FALSE(pipe.WriteProfileString("S", "k", "v"));
  fs::remove(ProfilePath());

  fs::create_directories(ProfilePath());
  EXPECT_FALSE(CProfile(ProfilePath()).WriteProfileString("S", "k", "v"));
  fs::remove(ProfilePath());

  // Far too large to be a profile: left as it is.
  const std::string large = "[S]\nk=1\n" + std::string(5 << 20, ';') + "\n";
  WriteFile(ProfilePath(), large);
  CProfile big(ProfilePath());
  EXPECT_EQ("d", big.GetProfileString("S", "k", "d"));
  EXPECT_FALSE(big.WriteProfileString("S", "k", "2"));
  EXPECT_EQ(large.size(), fs::file_size(ProfilePath()));
}

TEST_F(Profile, EditChangesSeveralValuesInOneWrite) {
  CProfile p(ProfilePath());
  ASSERT_TRUE(p.WriteProfileString("S", "a", "1"));
  EXPECT_TRUE(p.Edit([](ProfileContents& c) { return c.Set("S", "a", "2") && c.Set("S", "b", "3"); }));
  EXPECT_EQ("[S]\na=2\nb=3\n", ReadFile(ProfilePath()));
  // A change that gives up writes nothing.
  EXPECT_FALSE(p.Edit([](ProfileContents& c) {
    c.Set("S", "a", "9");
    return false;
  }));
  EXPECT_EQ("[S]\na=2\nb=3\n", ReadFile(ProfilePath()));
}

TEST(ProfilePath, ComesFromTheConfigurationFolder) {
  const ScopedEnv home("HOME", "/home/user");
  {
    const ScopedEnv config("XDG_CONFIG_HOME", "/xdg/config");
    EXPECT_EQ("/xdg/config/Brevanta/TessaryAuthor.conf", UserProfilePath("Brevanta", "TessaryAuthor"));
  }
  {
    // A relative folder is not a valid one.
    const ScopedEnv config("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ("/home/user/.config/Brevanta/TessaryAuthor.conf", UserProfilePath("Brevanta", "TessaryAuthor"));
  }
  const ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ("/home/user/.config/Brevanta/TessaryAuthor.conf", UserProfilePath("Brevanta", "TessaryAuthor"));
}

}  // namespace
