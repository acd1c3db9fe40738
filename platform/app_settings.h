// The program's own values in the profile, read from and written to its text: the recent files,
// the command bars, the main window's placement and a list's column widths. Whatever the file
// holds, what is read is within the ranges given here; what makes no sense is left out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_bars.h"
#include "platform/profile.h"
#include "platform/window_placement.h"

// The recent files: entries "file1", "file2", ... of the section "Recent File List".
inline constexpr const char* kRecentFileSection = "Recent File List";
// At most max names, none empty, none twice, in the order of their entries.
std::vector<std::string> ReadRecentFiles(const ProfileContents& profile, std::size_t max);
// "file1" to "file<max>": the names, then empty texts.
void WriteRecentFiles(ProfileContents& profile, const std::vector<std::string>& files, std::size_t max);
// The list with file first and not again further down, at most max long.
std::vector<std::string> WithRecentFile(const std::vector<std::string>& files, const std::string& file,
                                        std::size_t max);
std::vector<std::string> WithoutRecentFile(const std::vector<std::string>& files, const std::string& file);

// The command bars: the entries of CommandBarsState::ToEntries, in the section "CommandBars".
inline constexpr const char* kCommandBarsSection = "CommandBars";
CommandBarsState ReadCommandBars(const ProfileContents& profile);
// The section holds exactly the state's entries afterwards.
void WriteCommandBars(ProfileContents& profile, const CommandBarsState& state);

// The main window's placement: "Left", "Top", "Width", "Height", "ShowCmd" in "WindowPlacement".
inline constexpr const char* kPlacementSection = "WindowPlacement";
// Nothing unless all five are whole numbers and the size is at least 1 by 1.
std::optional<WindowPlacement> ReadWindowPlacement(const ProfileContents& profile);
void WriteWindowPlacement(ProfileContents& profile, const WindowPlacement& placement);

// Column widths in pixels as "w0,w1,...". A column whose field is not a whole number above 0
// gets 0 (none stored); a wider one than kMaxColumnWidth gets that; fields after the first
// kMaxColumns are not read.
inline constexpr int kMaxColumnWidth = 10000;
inline constexpr std::size_t kMaxColumns = 64;
std::vector<int> ParseColumnWidths(std::string_view text);
std::string FormatColumnWidths(const std::vector<int>& widths);
