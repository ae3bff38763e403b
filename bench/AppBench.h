#pragma once
// Helpers of the main-window benchmarks: each measurement runs in a fresh child process so that
// memory and caches of one case do not leak into the next.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

inline double MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

// A "Vm…:" field of /proc/self/status in KiB: VmRSS the resident set now, VmHWM its peak.
inline long ProcStatusKiB(const char* field) {
  std::ifstream f("/proc/self/status");
  std::string key;
  while (f >> key) {
    if (key == field) {
      long v = 0;
      f >> v;
      return v;
    }
    std::getline(f, key);
  }
  return 0;
}
inline long RssKiB() { return ProcStatusKiB("VmRSS:"); }

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

inline std::string SelfFolder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string p(buf, size_t(n));
  return p.substr(0, p.find_last_of('/'));
}

// Runs a program and returns its standard output ("" when it failed). `startMs` receives the
// monotonic time taken just before the process was created.
inline std::string RunChild(const std::vector<std::string>& argv, double* startMs = nullptr) {
  int out[2];
  if (pipe(out) != 0) return {};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (startMs) *startMs = MonotonicMs();
  const int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  std::string text;
  if (rc == 0) {
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, size_t(n));
  }
  close(out[0]);
  int status = 0;
  if (rc == 0) waitpid(pid, &status, 0);
  if (rc != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return text;
}

// Benchmarks must neither read nor change the operator's own settings, and need a display.
inline void PrepareBenchEnvironment() {
  static char dataHome[] = "/tmp/vq-app-bench-XXXXXX";
  if (!std::getenv("VQ_BENCH_CHILD")) {
    if (mkdtemp(dataHome)) setenv("XDG_DATA_HOME", dataHome, 1);
    setenv("VQ_BENCH_CHILD", "1", 1);
  }
  const char* display = std::getenv("DISPLAY");
  if (!std::getenv("QT_QPA_PLATFORM") && (!display || !*display)) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

inline const char* PlatformName() {
  const char* p = std::getenv("QT_QPA_PLATFORM");
  return p ? p : "xcb";
}
