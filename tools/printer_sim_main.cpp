// vq-printer-sim: a fiscal printer on a pseudo-terminal, for trying the program out and for tests.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "tools/PrinterSim.h"

int main(int argc, char** argv) {
  PrinterSimOptions options;
  std::string portName;
  bool stdinStop = false;
  try {
    if (!ParsePrinterSimArgs(std::vector<std::string>(argv + 1, argv + argc), options, portName, stdinStop)) {
      std::fputs(PrinterSimUsage().c_str(), stdout);
      return 0;
    }
    if (!portName.empty()) options.LinkPath = PortLinkPathFor(portName);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vq-printer-sim: %s\n", e.what());
    return 2;
  }

  // Block the stop signals before the serving thread exists, so only signalfd sees them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGHUP);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  int sfd = signalfd(-1, &stop, SFD_CLOEXEC);
  if (sfd < 0) {
    std::fprintf(stderr, "vq-printer-sim: signalfd: %s\n", std::strerror(errno));
    return 1;
  }

  PrinterSim sim(options);
  try {
    sim.Start();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vq-printer-sim: %s\n", e.what());
    return 1;
  }
  std::printf("READY %s\n", sim.SlavePath().c_str());
  if (!options.LinkPath.empty())
    std::fprintf(stderr, "link %s -> %s\n", options.LinkPath.c_str(), sim.SlavePath().c_str());
  std::fflush(stdout);

  for (;;) {
    pollfd fds[2] = {{sfd, POLLIN, 0}, {stdinStop ? 0 : -1, POLLIN, 0}};
    int r = poll(fds, 2, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || fds[0].revents) break;
    if (fds[1].revents) {
      char buf[256];
      ssize_t n = read(0, buf, sizeof buf);
      if (n <= 0) break;
    }
  }
  sim.Stop();
  return 0;
}
