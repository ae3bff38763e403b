#include "device/PortMap.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <map>
#include <mutex>

#include "support/AppPaths.h"
#include "support/Exceptions.h"

namespace {

std::mutex gRootsMutex;
PortRoots gRoots;

constexpr int kMaxPortNumber = 99999;

}  // namespace

bool ParseComName(const std::string& name, int& n) {
  if (name.size() < 4 || name.size() > 8) return false;
  if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(name[2])) != 'M')
    return false;
  if (name[3] == '0') return false;
  int v = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    v = v * 10 + (name[i] - '0');
  }
  if (v < 1 || v > kMaxPortNumber) return false;
  n = v;
  return true;
}

namespace {

// A built-in UART slot exists in sysfs for every possible port; "type" 0 marks a placeholder
// without hardware behind it.
bool RealUart(const std::string& sys, int index) {
  std::ifstream in(sys + "/class/tty/ttyS" + std::to_string(index) + "/type");
  long type = 0;
  if (!(in >> type)) return false;
  return type != 0;
}

std::string AutomaticPath(const PortRoots& roots, int n) {
  if (n >= 1 && n <= 32) return RealUart(roots.sys, n - 1) ? roots.dev + "/ttyS" + std::to_string(n - 1) : "";
  if (n >= 33 && n <= 64) return roots.dev + "/ttyUSB" + std::to_string(n - 33);
  if (n >= 65 && n <= 96) return roots.dev + "/ttyACM" + std::to_string(n - 65);
  return "";
}

// The user's own assignments: symbolic links named COMn in the ports folder. When two links
// differ only in letter case, the one first in byte order wins (so "COM5" before "com5").
std::map<int, std::string> ReadOverrides(const std::string& folder) {
  std::map<int, std::string> result;
  std::map<int, std::string> chosenName;
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    if (errno == ENOENT) return result;
    const int e = errno;
    throw Exception("Unable to read the ports folder " + folder + ": " + strerror(e));
  }
  while (dirent* d = readdir(dir)) {
    const std::string entry = d->d_name;
    int n = 0;
    if (!ParseComName(entry, n)) continue;
    const std::string linkPath = folder + "/" + entry;
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) continue;
    auto it = chosenName.find(n);
    if (it != chosenName.end() && it->second < entry) continue;
    std::string target(size_t(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
    const ssize_t len = readlink(linkPath.c_str(), target.data(), target.size());
    if (len <= 0 || size_t(len) >= target.size()) continue;
    target.resize(size_t(len));
    if (target[0] != '/') target = folder + "/" + target;
    result[n] = target;
    chosenName[n] = entry;
  }
  closedir(dir);
  return result;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

void SetPortRootsForTesting(const PortRoots& roots) {
  std::lock_guard<std::mutex> hold(gRootsMutex);
  gRoots = roots;
}

PortRoots CurrentPortRoots() {
  PortRoots roots;
  {
    std::lock_guard<std::mutex> hold(gRootsMutex);
    roots = gRoots;
  }
  if (roots.ports.empty()) roots.ports = UserProgramFolder() + "/ports";
  return roots;
}

std::string DevicePathForPort(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  int n = 0;
  if (!ParseComName(name, n)) return "";
  const PortRoots roots = CurrentPortRoots();
  const std::map<int, std::string> overrides = ReadOverrides(roots.ports);
  auto it = overrides.find(n);
  if (it != overrides.end()) return it->second;
  return AutomaticPath(roots, n);
}

std::vector<std::string> DefinedPortNames() {
  const PortRoots roots = CurrentPortRoots();
  std::map<int, std::string> paths = ReadOverrides(roots.ports);
  for (int n = 1; n <= 96; ++n) {
    if (paths.count(n)) continue;
    std::string p = AutomaticPath(roots, n);
    if (!p.empty()) paths[n] = std::move(p);
  }
  std::vector<std::string> names;
  for (const auto& [n, path] : paths)
    if (Exists(path)) names.push_back("COM" + std::to_string(n));
  return names;
}
