#pragma once
// Small helpers shared by the device benchmarks (timed programs; each prints its own table).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

using BenchClock = std::chrono::steady_clock;

inline double Seconds(BenchClock::duration d) { return std::chrono::duration<double>(d).count(); }
inline double Ms(BenchClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// CPU time of the calling thread only (the simulator serves from its own thread).
inline double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const double pos = p / 100.0 * double(v.size() - 1);
  const size_t lo = size_t(pos);
  const size_t hi = std::min(lo + 1, v.size() - 1);
  return v[lo] + (v[hi] - v[lo]) * (pos - double(lo));
}

// A request frame, built here rather than with the program's own frame code.
inline std::string RequestFrame(uint8_t seq, uint8_t cmd, const std::string& data) {
  std::string f;
  f += char(0x01);
  f += char(0x20 + 4 + data.size());
  f += char(seq);
  f += char(cmd);
  f += data;
  f += char(0x05);
  unsigned sum = 0;
  for (size_t i = 1; i < f.size(); ++i) sum += uint8_t(f[i]);
  for (int shift = 12; shift >= 0; shift -= 4) f += char(0x30 + ((sum >> shift) & 15));
  f += char(0x03);
  return f;
}

inline void Verdict(const char* what, bool met) {
  std::printf("  goal %-44s %s\n", what, met ? "met" : "NOT MET");
}
