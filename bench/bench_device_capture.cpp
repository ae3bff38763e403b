// Report capture: a 4 MiB report streamed at full speed by the printer simulator through a
// pseudo-terminal into TFiscalLink, against a plain 4 KiB-read loop on the same kind of
// pseudo-terminal in the same run.
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "DeviceBench.h"
#include "device/FiscalLink.h"
#include "tools/PrinterSim.h"

namespace {

constexpr size_t kReportBytes = size_t(4) << 20;
const std::string kParams = "D,1,1,1830";

struct Run {
  size_t bytes = 0;
  double wall = 0, cpu = 0;
};

PrinterSimOptions SimOptions() {
  PrinterSimOptions o;
  o.ReportBytes = kReportBytes;
  return o;
}

Run Capture(const std::string& slave) {
  TFiscalLink link(slave, 115200);
  link.SendCommandText(90, "#");  // warm-up exchange
  const SimReport expected = BuildSimReport(SimOptions(), 95, kParams);
  Run r;
  const double c0 = ThreadCpuSeconds();
  const auto t0 = BenchClock::now();
  link.SendCommandText(95, kParams);
  r.wall = Seconds(BenchClock::now() - t0);
  r.cpu = ThreadCpuSeconds() - c0;
  r.bytes = link.ReportText().size();
  if (link.ReportText() != expected.Text) throw std::runtime_error("link: report text differs");
  return r;
}

Run LinkRun() {
  PrinterSim sim(SimOptions());
  sim.Start();
  return Capture(sim.SlavePath());
}

// The simulator program holding the master in a process of its own.
Run ProcessRun() {
  PrinterSimProcess sim(VQ_PRINTER_SIM_EXE, {"--report-bytes", std::to_string(kReportBytes)});
  return Capture(sim.SlavePath());
}

Run PlainRun() {
  PrinterSim sim(SimOptions());
  sim.Start();
  int fd = open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(std::string("open: ") + std::strerror(errno));
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_iflag &= ~tcflag_t(IXOFF | IXANY | INPCK);
  t.c_cflag &= ~tcflag_t(CSTOPB | CRTSCTS | PARENB);
  t.c_cflag |= CLOCAL | CREAD | CS8;
  tcsetattr(fd, TCSANOW, &t);
  const SimReport expected = BuildSimReport(sim.Options(), 95, kParams);
  const uint8_t status[6] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  const size_t total =
      expected.Text.size() + BuildSimAnswer(0x20, 95, expected.AnswerData, status, false).size();
  const std::string req = RequestFrame(0x20, 95, kParams);
  std::string got;
  got.reserve(total);
  char buf[4096];
  Run r;
  const double c0 = ThreadCpuSeconds();
  const auto t0 = BenchClock::now();
  if (write(fd, req.data(), req.size()) != ssize_t(req.size()))
    throw std::runtime_error("plain: short write");
  while (got.size() < total) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0)
      got.append(buf, size_t(n));
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      throw std::runtime_error("plain: read failed");
  }
  r.wall = Seconds(BenchClock::now() - t0);
  r.cpu = ThreadCpuSeconds() - c0;
  r.bytes = expected.Text.size();
  close(fd);
  if (got.compare(0, expected.Text.size(), expected.Text) != 0)
    throw std::runtime_error("plain: text differs");
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<double> linkRate, plainRate, linkCpu, plainCpu, procRate, procCpu;
  for (int i = 0; i < rounds; ++i) {
    const Run l = LinkRun();
    const Run p = PlainRun();
    const Run x = ProcessRun();
    procRate.push_back(double(x.bytes) / x.wall);
    procCpu.push_back(x.cpu * 1e6 / double(x.bytes));
    linkRate.push_back(double(l.bytes) / l.wall);
    plainRate.push_back(double(p.bytes) / p.wall);
    linkCpu.push_back(l.cpu * 1e6 / double(l.bytes));
    plainCpu.push_back(p.cpu * 1e6 / double(p.bytes));
    std::printf("  round %d: link %.2f MB/s (%.3f s), plain %.2f MB/s (%.3f s), link/process %.2f MB/s\n",
                i + 1, linkRate.back() / 1e6, l.wall, plainRate.back() / 1e6, p.wall, procRate.back() / 1e6);
  }
  const double lr = Percentile(linkRate, 50), pr = Percentile(plainRate, 50);
  std::printf("report capture, %zu bytes, median of %d rounds\n", kReportBytes, rounds);
  std::printf("  TFiscalLink        %8.2f MB/s   %.4f CPU us/byte\n", lr / 1e6, Percentile(linkCpu, 50));
  std::printf("  plain 4 KiB reads  %8.2f MB/s   %.4f CPU us/byte\n", pr / 1e6, Percentile(plainCpu, 50));
  std::printf("  ratio plain/link   %8.2f\n", pr / lr);
  std::printf("  TFiscalLink, simulator in its own process %8.2f MB/s   %.4f CPU us/byte\n",
              Percentile(procRate, 50) / 1e6, Percentile(procCpu, 50));
  Verdict("link capture >= 2 MB/s", lr >= 2e6 && Percentile(procRate, 50) >= 2e6);
  return 0;
}
