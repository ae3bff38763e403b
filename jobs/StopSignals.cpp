#include "jobs/StopSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "support/Exceptions.h"

namespace {

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_caught = 0;

extern "C" void OnStopSignal(int) {
  g_caught = 1;
  const char b = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &b, 1);
}

}  // namespace

void CatchStopSignals() {
  if (g_signalPipe[0] >= 0) return;
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw Exception("Unable to watch for interrupts");
  struct sigaction sa = {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void RunUntilFinished(TSmProgressThread& job) {
  CatchStopSignals();
  QCoreApplication* app = QCoreApplication::instance();
  QObject::connect(&job, &TSmProgressThread::finished, app, &QCoreApplication::quit, Qt::QueuedConnection);
  QSocketNotifier stopNotifier(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&stopNotifier, &QSocketNotifier::activated, app, [&job] {
    char drained[16];
    while (::read(g_signalPipe[0], drained, sizeof drained) > 0) {
    }
    job.Cancel();
  });
  if (g_caught) job.Cancel();
  job.Resume();
  QCoreApplication::exec();
  job.Wait();
}

bool StopSignalCaught() { return g_caught != 0; }
