#include "platform/string_table.h"

#include <algorithm>
#include <vector>

#include "res/string_table.h"

namespace {

const std::vector<ResString>& Sorted() {
  static const std::vector<ResString> table = [] {
    std::vector<ResString> t(g_ResStrings, g_ResStrings + g_ResStringCount);
    std::stable_sort(t.begin(), t.end(), [](const ResString& a, const ResString& b) { return a.id < b.id; });
    return t;
  }();
  return table;
}

const ResString* Find(unsigned id) {
  const auto& t = Sorted();
  auto it = std::lower_bound(t.begin(), t.end(), id, [](const ResString& s, unsigned v) { return s.id < v; });
  return (it != t.end() && it->id == id) ? &*it : nullptr;
}

}  // namespace

std::string LoadResString(unsigned id) {
  const ResString* s = Find(id);
  return s ? std::string(s->text) : std::string();
}
