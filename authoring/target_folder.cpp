#include "authoring/target_folder.h"

std::string g_strSourceCalFolder;

std::string AddStartFolder(const std::string& remembered, int alwaysUseSourceCalFolder,
                           const std::string& sourceCalPath, const std::string& currentDirectory) {
  if (alwaysUseSourceCalFolder == 0 && !remembered.empty()) return remembered;
  return sourceCalPath.empty() ? currentDirectory : sourceCalPath;
}
