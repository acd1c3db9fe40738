#include "app/startup.h"

#include <unistd.h>

#include <algorithm>
#include <climits>

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

std::string FullPath(const std::string& name, const std::string& cwd) {
  if (name.empty() || name.front() == '/' || cwd.empty() || cwd.front() != '/') return name;
  std::vector<std::string> parts;
  const auto split = [](const std::string& path, const auto& add) {
    for (std::size_t start = 0; start <= path.size();) {
      const std::size_t slash = std::min(path.find('/', start), path.size());
      const std::string part = path.substr(start, slash - start);
      if (!part.empty() && part != ".") add(part);
      start = slash + 1;
    }
  };
  split(cwd, [&](const std::string& part) { parts.push_back(part); });
  // How many parts come from cwd: only those are left for a "..".
  std::size_t fromCwd = parts.size();
  split(name, [&](const std::string& part) {
    if (part == ".." && parts.size() == fromCwd) {
      if (!parts.empty()) parts.pop_back();
      fromCwd = parts.size();
    } else {
      parts.push_back(part);
    }
  });
  std::string full;
  for (const std::string& part : parts) full += "/" + part;
  return full.empty() ? "/" : full;
}

std::string FullPath(const std::string& name) {
  if (name.empty() || name.front() == '/') return name;
  std::string cwd(PATH_MAX, '\0');
  if (!::getcwd(cwd.data(), cwd.size())) return name;
  cwd.resize(cwd.find('\0'));
  return FullPath(name, cwd);
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
