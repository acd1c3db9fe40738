#include "app/startup.h"

ShellRequest ParseCommandLine(const std::vector<std::string>& args) {
  ShellRequest r;
  bool switches = true;
  for (const std::string& a : args) {
    if (switches && a == "--") {
      switches = false;
      continue;
    }
    if (switches && a.size() > 1 && a[0] == '-') continue;
    if (a.empty()) continue;
    r.kind = ShellRequest::fileOpen;
    r.fileName = a;
    break;
  }
  return r;
}

TemplateStrings ParseTemplateString(const std::string& text) {
  std::string fields[7];
  std::size_t start = 0;
  for (std::string& f : fields) {
    if (start > text.size()) break;
    const std::size_t nl = text.find('\n', start);
    f = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    start = nl == std::string::npos ? text.size() + 1 : nl + 1;
  }
  return {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]};
}
