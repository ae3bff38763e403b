#include "support/AppPaths.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace {

std::mutex g_pathMutex;
std::string g_programOverride;

bool IsDir(const std::string& p) {
  struct stat st {};
  return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string GetLocalAppDataPath() {
  const char* xdg = ::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/' && IsDir(xdg)) return xdg;
  const char* home = ::getenv("HOME");
  if (home && home[0] == '/') {
    std::string share = std::string(home);
    if (share.back() != '/') share += '/';
    share += ".local/share";
    if (IsDir(share)) return share;
  }
  return "";
}

std::string ProgramFilePath() {
  {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    if (!g_programOverride.empty()) return g_programOverride;
  }
  char buf[PATH_MAX];
  if (::realpath("/proc/self/exe", buf)) return buf;
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return "";
}

void SetProgramFilePathForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_pathMutex);
  g_programOverride = path;
}

std::string ExtractFileName(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileDir(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  auto slash = path.find_last_of('/');
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) { return IsDir(path); }

std::string ProgramFolder() { return ExtractFileDir(ProgramFilePath()); }

std::string ProgramBaseName() {
  return ChangeFileExt(ExtractFileName(ProgramFilePath()), "");
}

std::string UserProgramFolder() {
  std::string folder = GetLocalAppDataPath();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  folder += ProgramBaseName();
  if (!folder.empty() && !IsDir(folder)) ::mkdir(folder.c_str(), 0755);  // one level; failure shows later
  return folder;
}
