// veltra-qrm-read against the simulator program with a 6 MB report: the wall time of the whole
// program (start, identification, the look for an earlier report, the report, the file) against a
// raw capture of the same report bytes from the same kind of pseudo-terminal.
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "AppBench.h"
#include "DeviceBench.h"
#include "tools/PrinterSim.h"

namespace {

constexpr size_t kReportBytes = 6000000;
const std::string kParams = "D,1,1,1830";

std::vector<std::string> SimArgs() { return {"--report-bytes", std::to_string(kReportBytes), "--raw-line"}; }

double RawCaptureSeconds() {
  PrinterSimProcess sim(VQ_PRINTER_SIM_EXE, SimArgs());
  const int fd = open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(std::string("open: ") + std::strerror(errno));
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &t);
  PrinterSimOptions o;
  o.ReportBytes = kReportBytes;
  const SimReport report = BuildSimReport(o, 95, kParams);
  const uint8_t status[6] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  const size_t total = report.Text.size() + BuildSimAnswer(0x20, 95, report.AnswerData, status, false).size();
  const std::string request = RequestFrame(0x20, 95, kParams);
  std::string got;
  got.reserve(total);
  char buf[4096];
  const double t0 = MonotonicMs();
  if (write(fd, request.data(), request.size()) != ssize_t(request.size()))
    throw std::runtime_error("short write");
  while (got.size() < total) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) throw std::runtime_error("raw capture: the simulator went quiet");
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) got.append(buf, size_t(n));
  }
  const double seconds = (MonotonicMs() - t0) / 1000.0;
  close(fd);
  if (got.compare(0, report.Text.size(), report.Text) != 0)
    throw std::runtime_error("raw capture: bytes differ");
  return seconds;
}

double ReaderSeconds(const std::string& output) {
  PrinterSimProcess sim(VQ_PRINTER_SIM_EXE, SimArgs());
  double t0 = 0;
  const std::string out = RunChild(
      {VQ_HEADLESS_READER_EXE, "--port", sim.SlavePath(), "--numbers", "1-1830", "--output", output}, &t0);
  const double seconds = (MonotonicMs() - t0) / 1000.0;
  if (out.empty()) throw std::runtime_error("veltra-qrm-read failed");
  return seconds;
}

}  // namespace

int main() {
  PrepareBenchEnvironment();
  const std::string output = std::string(std::getenv("XDG_DATA_HOME")) + "/report.txt";
  std::vector<double> reader, raw;
  try {
    for (int round = 0; round < 3; ++round) {
      reader.push_back(ReaderSeconds(output));
      raw.push_back(RawCaptureSeconds());
    }
  } catch (const std::exception& e) {
    std::printf("headless reader benchmark failed: %s\n", e.what());
    return 1;
  }
  std::printf("veltra-qrm-read, %zu-byte report from the simulator program, median of 3\n", kReportBytes);
  std::printf("  veltra-qrm-read (whole program, file written) %7.3f s\n", Median(reader));
  std::printf("  raw capture of the same bytes                 %7.3f s\n", Median(raw));
  std::printf("  ratio                                          %6.2fx\n", Median(reader) / Median(raw));
  return 0;
}
