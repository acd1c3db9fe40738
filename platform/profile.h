// The per-user profile: named values in sections, kept in one text file in the form the toolkit's
// file configuration wrote ("[Section]" lines, "entry=value" lines, its escapes). The program
// keeps no copy: every read looks at the file as it is on disk now, and every write changes that
// one value in the file on disk at once, under a lock on the file's folder, so that copies of the
// program running side by side see each other's values and lose none of them.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The parsed text of a profile file. Lines that are neither a section nor an entry (comments,
// blank lines, anything unreadable) are kept as they are. Section and entry names compare
// without regard to ASCII case; an entry given twice counts with its last value.
class ProfileContents {
 public:
  ProfileContents() = default;
  explicit ProfileContents(std::string_view text);

  // The file's text; unchanged lines as they were read, line ends "\n".
  std::string Text() const;

  // The value of an entry, or nullptr.
  const std::string* Find(std::string_view section, std::string_view entry) const;
  // The value as a whole decimal number within int (white space around it allowed); def for an
  // absent entry and for any other text.
  int FindInt(std::string_view section, std::string_view entry, int def) const;
  // The entries of a section, each once, in the order of the file.
  std::vector<std::pair<std::string, std::string>> Section(std::string_view section) const;

  struct Entry {
    std::string section, name, value;
  };
  // Every entry, each once, in the order of the file.
  std::vector<Entry> Entries() const;

  // Sets an entry, adding it (and its section) where needed. False, with nothing changed, for
  // what the file cannot hold: an empty entry name, a name with a line break, a NUL byte.
  bool Set(std::string_view section, std::string_view entry, std::string_view value);
  // Afterwards the section holds exactly these entries.
  bool ReplaceSection(std::string_view section, const std::vector<std::pair<std::string, std::string>>& entries);

  // The section name as the file knows it: "a//b/" and "/a/./b" are "a/b"; the root is "".
  static std::string NormalSection(std::string_view section);

 private:
  struct Line {
    enum Kind { other, header, entry } kind = other;
    std::string text;
    std::string section;  // a header's section, or the section an entry stands in
    std::string name;     // an entry's name
    std::string value;    // an entry's value
  };
  static Line ParseLine(std::string_view text, const std::string& section);
  static bool Storable(std::string_view section, std::string_view entry, std::string_view value);
  // The last line of the entry in the section (named as NormalSection gives it), or nullptr.
  Line* FindEntry(const std::string& normalSection, std::string_view entry);
  const Line* FindLine(std::string_view section, std::string_view entry) const;

  std::vector<Line> m_lines;
};

class CProfile {
 public:
  // The lock on the folder is waited for at most lockWait; a write that cannot have it in time
  // is not made.
  explicit CProfile(std::string path, std::chrono::milliseconds lockWait = std::chrono::milliseconds(1000));

  const std::string& GetPath() const { return m_path; }

  // Absent values give the default; so does an unreadable file.
  std::string GetProfileString(std::string_view section, std::string_view entry, std::string_view def = {}) const;
  // The default also for a value that is not a whole decimal number within int.
  int GetProfileInt(std::string_view section, std::string_view entry, int def) const;
  bool HasProfileEntry(std::string_view section, std::string_view entry) const;
  // The whole file as it is now, for reading several values at once.
  ProfileContents Read() const;

  // Each write is on disk when it returns true. False (silently) when the value could not be
  // stored: the file keeps the value it had.
  bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value);
  bool WriteProfileInt(std::string_view section, std::string_view entry, int value);
  bool WriteProfileSection(std::string_view section, const std::vector<std::pair<std::string, std::string>>& entries);
  // Changes the file as it is on disk now, with no other copy writing in between; change
  // returns false to write nothing. Several values changed here reach the disk together.
  bool Edit(const std::function<bool(ProfileContents&)>& change);

 private:
  std::string m_path;
  std::chrono::milliseconds m_lockWait;
};

// A whole decimal number within int, white space around it allowed, as a profile value holds one.
bool ParseProfileInt(std::string_view text, int& value);
// The numbers as a profile value lists them: "1,2,3"; "" for none.
std::string JoinInts(const std::vector<int>& values);

// The profile the program's parts use; nullptr (the default) when there is none, in which case
// reads give their defaults and writes are dropped.
void SetAppProfile(CProfile* profile);
CProfile* GetAppProfile();

// <XDG_CONFIG_HOME, or ~/.config>/company/application.conf
std::string UserProfilePath(const std::string& company, const std::string& application);
