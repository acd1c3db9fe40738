#include "authoring/target_folder.h"

std::string g_strSourceCalFolder;

std::string AddStartFolder(const std::string& remembered, int alwaysUseSourceCalFolder, const std::string& sourceCalPath,
                           const std::string& currentDirectory) {
  if (alwaysUseSourceCalFolder == 0 && !remembered.empty()) return remembered;
  return sourceCalPath.empty() ? currentDirectory : sourceCalPath;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
