#include "platform/command_bars.h"

#include <algorithm>
#include <charconv>

#include "platform/profile.h"
#include "res/app_ids.h"
#include "res/app_resources.h"

namespace {

bool ParseInt(const std::string& s, int& v) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, v);
  return ec == std::errc() && p == end;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= s.size()) {
    const std::size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

std::size_t MenuPopupCount(unsigned menuId) {
  const res::MenuResource* m = res::FindMenu(menuId);
  std::size_t n = 0;
  for (std::size_t i = 0; m && i < m->count; ++i) n += m->entries[i].kind == res::MenuEntry::popup;
  return n;
}

// A key's text as the toolkit writes it: short, printable, no separator of the list.
bool IsKeyText(const std::string& key) {
  if (key.empty() || key.size() > CommandBarsState::kMaxKeyText) return false;
  return std::none_of(key.begin(), key.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool IsButton(int id) {
  if (id == 0 || IsKnownCommand(id)) return true;
  return IsMenuButton(id) && static_cast<std::size_t>(id - kMenuButtonBase) < MenuPopupCount(IDR_TESSARYAUTHORTYPE);
}

}  // namespace

std::string AccelText(unsigned flags, unsigned vk) {
  std::string s;
  if (flags & res::FCONTROL) s += "Ctrl+";
  if (flags & res::FALT) s += "Alt+";
  if (flags & res::FSHIFT) s += "Shift+";
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
    s += static_cast<char>(vk);
  else if (vk == res::VK_BACK)
    s += "Back";
  else if (vk == res::VK_DELETE)
    s += "Delete";
  else if (vk == res::VK_INSERT)
    s += "Insert";
  else if (vk >= res::VK_F1 && vk <= res::VK_F24) {
    s += 'F';
    s += std::to_string(vk - res::VK_F1 + 1);
  }
  return s;
}

bool IsKnownCommand(int command) {
  if (command <= 0) return false;
  for (unsigned menuId : {unsigned{IDR_MAINFRAME}, unsigned{IDR_TESSARYAUTHORTYPE}}) {
    const res::MenuResource* m = res::FindMenu(menuId);
    for (std::size_t i = 0; m && i < m->count; ++i)
      if (m->entries[i].kind == res::MenuEntry::item && m->entries[i].id == command) return true;
  }
  const res::ToolbarResource* t = res::FindToolbar(IDR_MAINFRAME);
  for (std::size_t i = 0; t && i < t->count; ++i)
    if (t->buttons[i].command == command) return true;
  const res::AccelResource* a = res::FindAccelerators(IDR_MAINFRAME);
  for (std::size_t i = 0; a && i < a->count; ++i)
    if (a->entries[i].command == command) return true;
  return false;
}

std::string PlainMenuText(const char* text) {
  std::string s;
  for (const char* p = text; *p && *p != '\t'; ++p) {
    if (*p == '&') {
      if (p[1] != '&') continue;
      ++p;
    }
    s += *p;
  }
  return s;
}

CommandBarsState CommandBarsState::Defaults() {
  CommandBarsState s;
  const res::ToolbarResource* t = res::FindToolbar(IDR_MAINFRAME);
  for (std::size_t i = 0; t && i < t->count; ++i) s.standardButtons.push_back(t->buttons[i].command);
  const res::AccelResource* a = res::FindAccelerators(IDR_MAINFRAME);
  for (std::size_t i = 0; a && i < a->count; ++i)
    s.keys.push_back({a->entries[i].command, AccelText(a->entries[i].flags, a->entries[i].key)});
  return s;
}

std::vector<std::pair<std::string, std::string>> CommandBarsState::ToEntries() const {
  std::string keyText;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i) keyText += '\t';
    keyText += std::to_string(keys[i].command);
    keyText += '=';
    keyText += keys[i].key;
  }
  const auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
  return {{"ToolbarVisible", flag(toolbarVisible)},
          {"StatusBarVisible", flag(statusBarVisible)},
          {"ScreenTips", flag(screenTips)},
          {"ShortcutsInTips", flag(shortcutsInTips)},
          {"LargeIcons", flag(largeIcons)},
          {"StandardButtons", JoinInts(standardButtons)},
          {"Keys", keyText}};
}

CommandBarsState CommandBarsState::FromEntries(const std::function<bool(const std::string&, std::string&)>& read) {
  CommandBarsState s = Defaults();
  std::string v;
  const auto flag = [&](const char* name, bool& b) {
    if (read(name, v) && (v == "0" || v == "1")) b = v == "1";
  };
  flag("ToolbarVisible", s.toolbarVisible);
  flag("StatusBarVisible", s.statusBarVisible);
  flag("ScreenTips", s.screenTips);
  flag("ShortcutsInTips", s.shortcutsInTips);
  flag("LargeIcons", s.largeIcons);

  if (read("StandardButtons", v)) {
    std::vector<int> buttons;
    bool ok = true;
    if (!v.empty())
      for (const std::string& part : Split(v, ',')) {
        int id;
        ok = ok && buttons.size() < kMaxButtons && ParseInt(part, id) && IsButton(id);
        if (!ok) break;
        buttons.push_back(id);
      }
    if (ok) s.standardButtons = buttons;
  }
  if (read("Keys", v)) {
    std::vector<KeyBinding> keys;
    bool ok = true;
    if (!v.empty())
      for (const std::string& part : Split(v, '\t')) {
        const std::size_t eq = part.find('=');
        int id;
        ok = ok && keys.size() < kMaxKeys && eq != std::string::npos && ParseInt(part.substr(0, eq), id) &&
             IsKnownCommand(id) && IsKeyText(part.substr(eq + 1));
        if (!ok) break;
        keys.push_back({id, part.substr(eq + 1)});
      }
    if (ok) s.keys = keys;
  }
  return s;
}

std::vector<std::string> CommandBarsState::KeysFor(int command) const {
  std::vector<std::string> found;
  for (const KeyBinding& k : keys)
    if (k.command == command) found.push_back(k.key);
  return found;
}

void CommandBarsState::AssignKey(int command, const std::string& key) {
  std::erase_if(keys, [&](const KeyBinding& k) { return k.key == key; });
  keys.push_back({command, key});
}

void CommandBarsState::RemoveKey(int command, const std::string& key) {
  std::erase_if(keys, [&](const KeyBinding& k) { return k.command == command && k.key == key; });
}
