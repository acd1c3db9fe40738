#include "platform/app_settings.h"

#include <algorithm>

namespace {

std::string RecentFileEntry(std::size_t i) { return "file" + std::to_string(i + 1); }

constexpr const char* kPlacementEntries[] = {"Left", "Top", "Width", "Height", "ShowCmd"};

}  // namespace

std::vector<std::string> ReadRecentFiles(const ProfileContents& profile, std::size_t max) {
  std::vector<std::string> files;
  for (std::size_t i = 0; i < max; ++i) {
    const std::string* file = profile.Find(kRecentFileSection, RecentFileEntry(i));
    if (file && !file->empty() && std::find(files.begin(), files.end(), *file) == files.end()) files.push_back(*file);
  }
  return files;
}

void WriteRecentFiles(ProfileContents& profile, const std::vector<std::string>& files, std::size_t max) {
  for (std::size_t i = 0; i < max; ++i)
    profile.Set(kRecentFileSection, RecentFileEntry(i), i < files.size() ? files[i] : "");
}

std::vector<std::string> WithRecentFile(const std::vector<std::string>& files, const std::string& file,
                                        std::size_t max) {
  std::vector<std::string> list = {file};
  for (const std::string& f : files)
    if (list.size() < max && f != file) list.push_back(f);
  if (list.size() > max) list.resize(max);
  return list;
}

std::vector<std::string> WithoutRecentFile(const std::vector<std::string>& files, const std::string& file) {
  std::vector<std::string> list = files;
  std::erase(list, file);
  return list;
}

CommandBarsState ReadCommandBars(const ProfileContents& profile) {
  return CommandBarsState::FromEntries([&](const std::string& name, std::string& value) {
    const std::string* v = profile.Find(kCommandBarsSection, name);
    if (v) value = *v;
    return v != nullptr;
  });
}

void WriteCommandBars(ProfileContents& profile, const CommandBarsState& state) {
  profile.ReplaceSection(kCommandBarsSection, state.ToEntries());
}

std::optional<WindowPlacement> ReadWindowPlacement(const ProfileContents& profile) {
  int values[5];
  for (int i = 0; i < 5; ++i) {
    const std::string* text = profile.Find(kPlacementSection, kPlacementEntries[i]);
    if (!text || !ParseProfileInt(*text, values[i])) return std::nullopt;
  }
  WindowPlacement p;
  p.normal = {values[0], values[1], values[2], values[3]};
  p.showCmd = values[4];
  if (p.normal.width <= 0 || p.normal.height <= 0) return std::nullopt;
  return p;
}

void WriteWindowPlacement(ProfileContents& profile, const WindowPlacement& p) {
  const int values[5] = {p.normal.x, p.normal.y, p.normal.width, p.normal.height, p.showCmd};
  for (int i = 0; i < 5; ++i) profile.Set(kPlacementSection, kPlacementEntries[i], std::to_string(values[i]));
}

std::vector<int> ParseColumnWidths(std::string_view text) {
  std::vector<int> widths;
  if (text.empty()) return widths;
  for (;;) {
    const std::size_t comma = text.find(',');
    int w = 0;
    if (!ParseProfileInt(text.substr(0, comma), w) || w <= 0) w = 0;
    widths.push_back(std::min(w, kMaxColumnWidth));
    if (comma == std::string_view::npos || widths.size() == kMaxColumns) break;
    text.remove_prefix(comma + 1);
  }
  return widths;
}

std::string FormatColumnWidths(const std::vector<int>& widths) { return JoinInts(widths); }
