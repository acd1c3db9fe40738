// The profile's text: the fuzzed bytes are the profile file, read through the store as the
// program reads it at start (the command bars, the window placement fitted onto two displays,
// the recent files, the list's column widths, the Preferences). Every value read is within its
// range and what is written of it comes back the same. Then one value, named and made from the
// bytes, is written through the store: unless the file cannot hold it, it reads back as written
// and every other value of the file reads as before.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "platform/app_settings.h"
#include "platform/profile.h"
#include "platform/replace_file.h"

namespace {

// A scratch folder for the process, with the profile file in it, removed at exit.
class ScratchProfile {
 public:
  ScratchProfile() {
    const char* tmp = std::getenv("TMPDIR");
    m_folder = (tmp && *tmp ? std::string(tmp) : std::string("/tmp")) + "/tessary-fuzz-settings-XXXXXX";
    if (!::mkdtemp(m_folder.data())) std::abort();
    m_path = m_folder + "/TessaryAuthor.conf";
  }
  ~ScratchProfile() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
  const std::string& path() const { return m_path; }

 private:
  std::string m_folder, m_path;
};

const std::string& ProfilePath() {
  static const ScratchProfile scratch;
  return scratch.path();
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

using Values = std::map<std::pair<std::string, std::string>, std::string>;

Values AllValues(const ProfileContents& c) {
  Values values;
  for (const ProfileContents::Entry& e : c.Entries()) {
    // Each entry once: Entries() gives no name twice.
    FUZZ_CHECK(values.emplace(std::make_pair(Lower(e.section), Lower(e.name)), e.value).second);
  }
  return values;
}

bool IsToolbarButton(int id) { return id == 0 || IsKnownCommand(id) || IsMenuButton(id); }

void CheckCommandBars(const ProfileContents& profile) {
  const CommandBarsState s = ReadCommandBars(profile);
  FUZZ_CHECK(s.standardButtons.size() <= CommandBarsState::kMaxButtons);
  FUZZ_CHECK(std::all_of(s.standardButtons.begin(), s.standardButtons.end(), IsToolbarButton));
  FUZZ_CHECK(s.keys.size() <= CommandBarsState::kMaxKeys);
  for (const KeyBinding& k : s.keys) {
    FUZZ_CHECK(IsKnownCommand(k.command));
    FUZZ_CHECK(!k.key.empty() && k.key.size() <= CommandBarsState::kMaxKeyText);
    FUZZ_CHECK(std::none_of(k.key.begin(), k.key.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
  }
  ProfileContents written;
  WriteCommandBars(written, s);
  FUZZ_CHECK(ReadCommandBars(ProfileContents(written.Text())) == s);
}

void CheckPlacement(const ProfileContents& profile) {
  const std::vector<WindowRect> displays = {{0, 0, 1280, 1000}, {1280, 0, 1920, 1080}};
  WindowPlacement p = DefaultPlacement(displays.front());
  if (const std::optional<WindowPlacement> saved = ReadWindowPlacement(profile)) {
    FUZZ_CHECK(saved->normal.width > 0 && saved->normal.height > 0);
    ProfileContents written;
    WriteWindowPlacement(written, *saved);
    FUZZ_CHECK(ReadWindowPlacement(ProfileContents(written.Text())) == saved);
    p = *saved;
  }
  const WindowPlacement fit = FitPlacement(p, displays);
  FUZZ_CHECK(fit.showCmd == SW_SHOWNORMAL || fit.showCmd == SW_SHOWMAXIMIZED);
  const WindowRect& r = fit.normal;
  FUZZ_CHECK(std::any_of(displays.begin(), displays.end(), [&](const WindowRect& a) {
    return r.width > 0 && r.height > 0 && r.x >= a.x && r.y >= a.y &&
           int64_t{r.x} + r.width <= int64_t{a.x} + a.width && int64_t{r.y} + r.height <= int64_t{a.y} + a.height;
  }));
}

void CheckRecentFiles(const ProfileContents& profile) {
  const std::vector<std::string> files = ReadRecentFiles(profile, 4);
  FUZZ_CHECK(files.size() <= 4);
  for (std::size_t i = 0; i < files.size(); ++i) {
    FUZZ_CHECK(!files[i].empty());
    FUZZ_CHECK(std::find(files.begin() + static_cast<std::ptrdiff_t>(i) + 1, files.end(), files[i]) == files.end());
  }
  const std::vector<std::string> added = WithRecentFile(files, "/added.rvq", 4);
  FUZZ_CHECK(added.size() <= 4 && added.front() == "/added.rvq");
  ProfileContents written(profile.Text());
  WriteRecentFiles(written, added, 4);
  FUZZ_CHECK(ReadRecentFiles(ProfileContents(written.Text()), 4) == added);
}

void CheckColumnWidths(const ProfileContents& profile) {
  const std::string* stored = profile.Find("CTargetListCtrl_TSA", "Columns");
  const std::vector<int> widths = ParseColumnWidths(stored ? *stored : std::string());
  FUZZ_CHECK(widths.size() <= kMaxColumns);
  for (int w : widths) FUZZ_CHECK(w >= 0 && w <= kMaxColumnWidth);
  FUZZ_CHECK(ParseColumnWidths(FormatColumnWidths(widths)) == widths);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string& path = ProfilePath();
  if (ReplaceFileContents(path, text.data(), text.size()) != 0) std::abort();

  CProfile store(path);
  const ProfileContents profile = store.Read();
  // The store reads the file as the text is.
  const Values before = AllValues(profile);
  FUZZ_CHECK(AllValues(ProfileContents(text)) == before);
  FUZZ_CHECK(AllValues(ProfileContents(profile.Text())) == before);

  CheckCommandBars(profile);
  CheckPlacement(profile);
  CheckRecentFiles(profile);
  CheckColumnWidths(profile);
  store.GetProfileString("Preferences", "UpdatePath");
  store.GetProfileInt("Preferences", "AlwaysUseSourceCalFolder", 0);

  // One value named and made from the bytes.
  const std::size_t a = size % 7, b = a + size % 5 + 1;
  const std::string section = text.substr(0, a), entry = text.substr(std::min(a, size), b - a),
                    value = text.substr(size / 2, 40);
  ProfileContents probe(profile.Text());
  if (!probe.Set(section, entry, value)) {
    FUZZ_CHECK(!store.WriteProfileString(section, entry, value));
    FUZZ_CHECK(AllValues(store.Read()) == before);
    return 0;
  }
  FUZZ_CHECK(store.WriteProfileString(section, entry, value));
  FUZZ_CHECK(store.GetProfileString(section, entry, "<none>") == value);
  Values expected = before;
  expected[{Lower(ProfileContents::NormalSection(section)), Lower(entry)}] = value;
  FUZZ_CHECK(AllValues(store.Read()) == expected);
  return 0;
}
