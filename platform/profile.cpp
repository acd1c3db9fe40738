#include "platform/profile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/replace_file.h"

namespace {

// Far beyond any profile the program writes; a larger file is not read (nor written over).
constexpr off_t kMaxProfileSize = 4 << 20;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Fold(x) == Fold(y); });
}

std::string Folded(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Fold(c);
  return r;
}

// What a line of the file can hold as a name.
bool StorableName(std::string_view s) {
  return s.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

// Names: a backslash before every ASCII character that is neither a letter, a digit nor one of
// "@_/-!.*%()"; and before a name that starts as a byte-order mark does, which at the start of
// the file would be taken for one.
std::string EscapeName(std::string_view s) {
  static constexpr std::string_view kPlain = "@_/-!.*%()";
  std::string r;
  r.reserve(s.size() + 1);
  if (s.substr(0, 3) == kByteOrderMark) r += '\\';
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (u < 0x80 && !alnum && kPlain.find(c) == std::string_view::npos) r += '\\';
    r += c;
  }
  return r;
}

std::string UnescapeName(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && ++i == s.size()) break;
    r += s[i];
  }
  return r;
}

// Values: line breaks, tabs and backslashes escaped; a value that starts with white space or a
// quote is written in quotes, with its quotes escaped.
std::string EscapeValue(std::string_view v) {
  if (v.empty()) return {};
  const bool quoted = IsSpace(v.front()) || v.front() == '"';
  std::string r;
  r.reserve(v.size() + 2);
  if (quoted) r += '"';
  for (char c : v) {
    switch (c) {
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      case '\\': r += "\\\\"; break;
      case '"': r += quoted ? "\\\"" : "\""; break;
      default: r += c;
    }
  }
  if (quoted) r += '"';
  return r;
}

// An unknown escape and a lone backslash at the end stand for nothing; so does a quote inside a
// quoted value.
std::string UnescapeValue(std::string_view s) {
  std::string r;
  if (s.empty()) return r;
  r.reserve(s.size());
  const bool quoted = s.front() == '"';
  for (std::size_t i = quoted ? 1 : 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      if (++i == s.size()) break;
      switch (s[i]) {
        case 'n': r += '\n'; break;
        case 'r': r += '\r'; break;
        case 't': r += '\t'; break;
        case '\\': r += '\\'; break;
        case '"': r += '"'; break;
        default: break;
      }
    } else if (s[i] != '"' || !quoted) {
      r += s[i];
    }
  }
  return r;
}

std::string EntryLine(std::string_view name, std::string_view value) {
  return EscapeName(name) + "=" + EscapeValue(value);
}

// The folder and those above it that are missing, for the user alone. False when it is not there
// afterwards.
bool MakeFolders(const std::string& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno != ENOENT) return false;
  const std::string parent = tessary::ContainingFolder(folder);
  if (parent != folder && !MakeFolders(parent)) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 ||
         (errno == EEXIST && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

// 0 with the file's bytes, or the errno value: ENOENT for no file, EINVAL for a name that is
// not a regular file (a pipe would never end), EFBIG for one too large to be a profile.
int ReadProfileFile(const std::string& path, std::string& text) {
  text.clear();
  struct stat st;
  const int fd = OpenRegularForReading(path, st);
  if (fd == kNotRegularFile) return EINVAL;
  if (fd < 0) return -fd;
  int err = st.st_size > kMaxProfileSize ? EFBIG : 0;
  // Up to the end, however long the file has grown since it was looked at.
  char buffer[16384];
  for (std::size_t n = sizeof buffer; !err && n == sizeof buffer;) {
    n = ReadFully(fd, buffer, sizeof buffer, err);
    text.append(buffer, n);
    if (text.size() > static_cast<std::size_t>(kMaxProfileSize)) err = EFBIG;
  }
  ::close(fd);
  if (err) text.clear();
  return err;
}

// An advisory lock on the profile's folder for as long as the object lives, waited for at most
// the given time. Where the folder cannot be opened or the file system has no such locks, the
// work goes on without one.
class FolderLock {
 public:
  FolderLock(const std::string& folder, int operation, std::chrono::milliseconds wait) {
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      if (::flock(m_fd, operation | LOCK_NB) == 0) return;
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) break;
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) {
        m_busy = true;
        break;
      }
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(5), deadline - now));
    }
    ::close(m_fd);
    m_fd = -1;
  }
  ~FolderLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Another holder kept it past the wait.
  bool Busy() const { return m_busy; }

 private:
  int m_fd = -1;
  bool m_busy = false;
};

CProfile* g_appProfile = nullptr;

}  // namespace

// ---------------------------------------------------------------- ProfileContents

std::string ProfileContents::NormalSection(std::string_view section) {
  std::vector<std::string_view> parts;
  while (!section.empty()) {
    const std::size_t slash = section.find('/');
    const std::string_view part = section.substr(0, slash);
    section = slash == std::string_view::npos ? std::string_view() : section.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string r;
  for (std::string_view p : parts) {
    if (!r.empty()) r += '/';
    r += p;
  }
  return r;
}

// Read as the toolkit read it: white space before a line, comments after ';' or '#', sections in
// brackets, "name = value" with white space around the '=' left out; a backslash keeps the
// character after it in a name. An empty name or a line without '=' is not an entry.
ProfileContents::Line ProfileContents::ParseLine(std::string_view text, const std::string& section) {
  Line line;
  line.text = text;
  line.section = section;
  const std::string_view s = text.substr(0, text.find('\0'));
  std::size_t p = 0;
  while (p < s.size() && IsSpace(s[p])) ++p;
  if (p == s.size() || s[p] == ';' || s[p] == '#') return line;

  if (s[p] == '[') {
    std::size_t q = p;
    for (;;) {
      if (++q >= s.size()) return line;
      if (s[q] == ']') break;
      if (s[q] == '\\' && ++q >= s.size()) return line;
    }
    line.kind = Line::header;
    line.section = NormalSection(UnescapeName(s.substr(p + 1, q - p - 1)));
    return line;
  }

  std::size_t q = p;
  while (q < s.size() && s[q] != '=') {
    if (s[q] == '\\' && ++q == s.size()) break;
    ++q;
  }
  if (q >= s.size()) return line;
  std::string_view raw = s.substr(p, q - p);
  // Trailing white space goes, unless a backslash keeps it.
  while (!raw.empty() && IsSpace(raw.back())) {
    std::size_t slashes = 0;
    while (slashes + 1 < raw.size() && raw[raw.size() - 2 - slashes] == '\\') ++slashes;
    if (slashes % 2) break;
    raw.remove_suffix(1);
  }
  std::string name = UnescapeName(raw);
  if (name.empty()) return line;
  std::size_t v = q + 1;
  while (v < s.size() && IsSpace(s[v])) ++v;
  line.kind = Line::entry;
  line.name = std::move(name);
  line.value = UnescapeValue(s.substr(v));
  return line;
}

ProfileContents::ProfileContents(std::string_view text) {
  if (text.substr(0, 3) == kByteOrderMark) text.remove_prefix(3);
  std::string section;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    m_lines.push_back(ParseLine(text.substr(0, end), section));
    if (m_lines.back().kind == Line::header) section = m_lines.back().section;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1));
  }
}

std::string ProfileContents::Text() const {
  std::string text;
  for (const Line& line : m_lines) {
    text += line.text;
    text += '\n';
  }
  // A first line that itself starts with the mark keeps it: the reader takes off only one.
  if (text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) text.insert(0, kByteOrderMark);
  return text;
}

bool ProfileContents::Storable(std::string_view section, std::string_view entry, std::string_view value) {
  return !entry.empty() && StorableName(section) && StorableName(entry) && value.find('\0') == std::string_view::npos;
}

ProfileContents::Line* ProfileContents::FindEntry(const std::string& normalSection, std::string_view entry) {
  for (auto it = m_lines.rbegin(); it != m_lines.rend(); ++it)
    if (it->kind == Line::entry && SameName(it->name, entry) && SameName(it->section, normalSection)) return &*it;
  return nullptr;
}

const ProfileContents::Line* ProfileContents::FindLine(std::string_view section, std::string_view entry) const {
  return const_cast<ProfileContents*>(this)->FindEntry(NormalSection(section), entry);
}

const std::string* ProfileContents::Find(std::string_view section, std::string_view entry) const {
  const Line* line = FindLine(section, entry);
  return line ? &line->value : nullptr;
}

int ProfileContents::FindInt(std::string_view section, std::string_view entry, int def) const {
  const std::string* text = Find(section, entry);
  int value = 0;
  return text && ParseProfileInt(*text, value) ? value : def;
}

std::vector<std::pair<std::string, std::string>> ProfileContents::Section(std::string_view section) const {
  const std::string normal = NormalSection(section);
  std::vector<std::pair<std::string, std::string>> entries;
  for (Entry& e : Entries())
    if (SameName(e.section, normal)) entries.emplace_back(std::move(e.name), std::move(e.value));
  return entries;
}

std::vector<ProfileContents::Entry> ProfileContents::Entries() const {
  std::vector<Entry> entries;
  std::map<std::pair<std::string, std::string>, std::size_t> at;
  for (const Line& line : m_lines) {
    if (line.kind != Line::entry) continue;
    const auto [it, added] = at.emplace(std::make_pair(Folded(line.section), Folded(line.name)), entries.size());
    if (added)
      entries.push_back({line.section, line.name, line.value});
    else
      entries[it->second].value = line.value;
  }
  return entries;
}

bool ProfileContents::Set(std::string_view section, std::string_view entry, std::string_view value) {
  if (!Storable(section, entry, value)) return false;
  const std::string normal = NormalSection(section);
  if (Line* found = FindEntry(normal, entry)) {
    found->value = value;
    found->text = EntryLine(found->name, value);
    return true;
  }

  Line line;
  line.kind = Line::entry;
  line.section = normal;
  line.name = entry;
  line.value = value;
  line.text = EntryLine(entry, value);
  // After the section's last line; a root entry before the first section; a new section last.
  std::size_t at = m_lines.size();
  bool found = false;
  for (std::size_t i = 0; i < m_lines.size(); ++i)
    if (m_lines[i].kind != Line::other && SameName(m_lines[i].section, normal)) {
      at = i + 1;
      found = true;
    }
  if (!found && normal.empty()) {
    at = 0;
    while (at < m_lines.size() && m_lines[at].kind != Line::header) ++at;
  } else if (!found) {
    Line header;
    header.kind = Line::header;
    header.section = normal;
    header.text = "[" + EscapeName(normal) + "]";
    m_lines.push_back(std::move(header));
    at = m_lines.size();
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
  return true;
}

bool ProfileContents::ReplaceSection(std::string_view section,
                                     const std::vector<std::pair<std::string, std::string>>& entries) {
  for (const auto& [name, value] : entries)
    if (!Storable(section, name, value)) return false;
  const std::string normal = NormalSection(section);
  std::erase_if(m_lines, [&](const Line& line) {
    return line.kind == Line::entry && SameName(line.section, normal) &&
           std::none_of(entries.begin(), entries.end(), [&](const auto& e) { return SameName(e.first, line.name); });
  });
  for (const auto& [name, value] : entries) Set(section, name, value);
  return true;
}

// ---------------------------------------------------------------- CProfile

CProfile::CProfile(std::string path, std::chrono::milliseconds lockWait)
    : m_path(std::move(path)), m_lockWait(lockWait) {}

ProfileContents CProfile::Read() const {
  std::string text;
  {
    // Taken so that a file written in place is never read half-written; when another copy
    // holds it too long, the file is read as it is.
    FolderLock lock(tessary::ContainingFolder(m_path), LOCK_SH, m_lockWait);
    ReadProfileFile(m_path, text);
  }
  return ProfileContents(text);
}

std::string CProfile::GetProfileString(std::string_view section, std::string_view entry, std::string_view def) const {
  const ProfileContents contents = Read();
  const std::string* value = contents.Find(section, entry);
  return value ? *value : std::string(def);
}

int CProfile::GetProfileInt(std::string_view section, std::string_view entry, int def) const {
  return Read().FindInt(section, entry, def);
}

bool CProfile::HasProfileEntry(std::string_view section, std::string_view entry) const {
  return Read().Find(section, entry) != nullptr;
}

bool CProfile::Edit(const std::function<bool(ProfileContents&)>& change) {
  const std::string folder = tessary::ContainingFolder(m_path);
  if (!MakeFolders(folder)) return false;
  FolderLock lock(folder, LOCK_EX, m_lockWait);
  if (lock.Busy()) return false;
  std::string text;
  const int err = ReadProfileFile(m_path, text);
  // A file that is there but cannot be read is never written over.
  if (err != 0 && err != ENOENT) return false;
  ProfileContents contents(text);
  if (!change(contents)) return false;
  const std::string changed = contents.Text();
  if (changed == text) return true;
  return ReplaceFileContents(m_path, changed.data(), changed.size()) == 0;
}

bool CProfile::WriteProfileString(std::string_view section, std::string_view entry, std::string_view value) {
  return Edit([&](ProfileContents& c) { return c.Set(section, entry, value); });
}

bool CProfile::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
  return WriteProfileString(section, entry, std::to_string(value));
}

bool CProfile::WriteProfileSection(std::string_view section,
                                   const std::vector<std::pair<std::string, std::string>>& entries) {
  return Edit([&](ProfileContents& c) { return c.ReplaceSection(section, entries); });
}

bool ParseProfileInt(std::string_view s, int& value) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  if (s.size() > 1 && s.front() == '+' && s[1] != '-') s.remove_prefix(1);
  const char* end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, value);
  return !s.empty() && ec == std::errc() && p == end;
}

std::string JoinInts(const std::vector<int>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) text += ',';
    text += std::to_string(values[i]);
  }
  return text;
}

void SetAppProfile(CProfile* profile) { g_appProfile = profile; }
CProfile* GetAppProfile() { return g_appProfile; }

std::string UserProfilePath(const std::string& company, const std::string& application) {
  std::string folder;
  // A relative XDG_CONFIG_HOME is not valid and is not used.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    std::string h = home ? home : "";
    if (h.empty()) {
      struct passwd pw;
      struct passwd* found = nullptr;
      char buffer[4096];
      if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        h = found->pw_dir;
    }
    folder = h + "/.config";
  }
  return folder + "/" + company + "/" + application + ".conf";
}
