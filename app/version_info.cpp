#include "app/version_info.h"

#include <algorithm>
#include <cstring>

#include "res/app_ids.h"
#include "res/app_resources.h"

namespace {

class ProgramVersionBlock final : public IVersionBlock {
 public:
  bool QueryValue(const std::string& path, const char** value, unsigned* length) const override {
    static const std::string prefix = "\\StringFileInfo\\";
    if (path.compare(0, prefix.size(), prefix) != 0) return false;
    const std::size_t slash = path.find('\\', prefix.size());
    if (slash == std::string::npos) return false;
    const std::string table = path.substr(prefix.size(), slash - prefix.size());
    const std::string key = path.substr(slash + 1);
    const res::VersionBlock& b = res::g_VersionBlock;
    for (std::size_t t = 0; t < b.tableCount; ++t) {
      if (table != b.tables[t].langCodePage) continue;
      for (std::size_t i = 0; i < b.tables[t].count; ++i)
        if (key == b.tables[t].strings[i].key) {
          *value = b.tables[t].strings[i].value;
          *length =
              static_cast<unsigned>(std::strlen(*value) + 1);  // counts the terminator, as the system's query does
          return true;
        }
    }
    return false;
  }
};

}  // namespace

const IVersionBlock& GetProgramVersionBlock() {
  static const ProgramVersionBlock block;
  return block;
}

std::vector<std::pair<int, std::string>> ReadAboutTexts(const IVersionBlock* block) {
  std::vector<std::pair<int, std::string>> texts = {
      {IDC_APP_DESCRIPTION, "Application ???"},
      {IDC_FILE_VERSION, "Version ???"},
      {IDC_PRODUCT_VERSION, "Product Version ???"},
      {IDC_DATE, "Date ???"},
      {IDC_COPYRIGHT, "Copyright ???"},
      {IDC_LEGAL, "Legal ???"},
  };
  if (!block) return texts;
  const auto set = [&](int id, const std::string& text) {
    std::find_if(texts.begin(), texts.end(), [&](const auto& t) { return t.first == id; })->second = text;
  };
  // The language and code page are always these, whatever the block holds.
  const auto query = [&](const char* key, std::string& out) {
    const char* value = nullptr;
    unsigned length = 0;
    if (!block->QueryValue(std::string("\\StringFileInfo\\040904B0\\") + key, &value, &length) || length == 0 || !value)
      return false;
    out.assign(value, strnlen(value, length));
    return true;
  };
  std::string value;
  std::string combined;
  if (query("FileDescription", value)) set(IDC_APP_DESCRIPTION, value);
  if (query("FileVersion", value)) set(IDC_FILE_VERSION, value);
  if (query("ProductVersion", value)) set(IDC_PRODUCT_VERSION, value);
  if (query("Comments", value)) set(IDC_DATE, value);
  if (query("LegalCopyright", value)) combined = value;
  if (query("CompanyName", value)) {
    combined += value;
    set(IDC_COPYRIGHT, combined);
  }
  if (query("LegalTrademarks", value)) set(IDC_LEGAL, value);
  return texts;
}
