#include "support/AppPaths.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pwd.h>

#include <mutex>
#include <vector>

namespace {

std::mutex g_pathMutex;
std::string g_programOverride;

bool IsDir(const std::string& p) {
  struct stat st {};
  return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates `path` and any missing parents. New folders are private (0700): the settings and the
// log name the user's ports and reports. Failure is left to the first file written there.
void MakeFolders(const std::string& path) {
  if (path.empty() || IsDir(path)) return;
  for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
    const std::string part = path.substr(0, pos);
    if (!part.empty() && !IsDir(part)) ::mkdir(part.c_str(), 0700);
    if (pos == std::string::npos) break;
  }
}

std::string HomeFolder() {
  const char* home = ::getenv("HOME");
  if (home && home[0] == '/') return home;
  struct passwd pw {};
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return found->pw_dir;
  return "";
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string GetLocalAppDataPath() {
  std::string folder;
  const char* xdg = ::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    folder = WithoutTrailingSlashes(xdg);
  } else {
    const std::string home = HomeFolder();
    if (home.empty()) return "";
    folder = WithoutTrailingSlashes(home) + "/.local/share";
  }
  MakeFolders(folder);
  return folder;
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

void ActAsSiblingProgram(const std::string& name) {
  const std::string folder = ExtractFileDir(ProgramFilePath());
  std::lock_guard<std::mutex> lock(g_pathMutex);
  g_programOverride = folder + "/" + name;
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

std::string ProgramBaseName() { return ChangeFileExt(ExtractFileName(ProgramFilePath()), ""); }

std::string UserProgramFolder() {
  // A user without a home gets a path at the root, which fails visibly, rather than a
  // folder in whatever the current directory happens to be.
  std::string folder = GetLocalAppDataPath();
  if (folder.empty() || folder.back() != '/') folder += '/';
  folder += ProgramBaseName();
  if (!IsDir(folder)) ::mkdir(folder.c_str(), 0700);  // failure shows when a file is written there
  return folder;
}
