// Start-up probe: starts with the program's own steps (or as a bare QMainWindow program, or as
// one that shows a menu and a text field), prints the monotonic time once the main window's
// first expose has been painted, and quits.
#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>

#include <cstdio>

#include "AppBench.h"

#ifdef VQ_STARTUP_REAL_WINDOW
#include "app/ProgramStart.h"
#include "app/ReaderFM.h"
#include "support/LogFile.h"
#endif

namespace {

class ExposeProbe : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Expose && !done_) {
      auto* window = static_cast<QWindow*>(watched);
      if (window->isExposed()) {
        done_ = true;
        // Let the expose be painted first, then take the time.
        QTimer::singleShot(0, [] {
          std::printf("%.3f\n", MonotonicMs());
          std::fflush(stdout);
          QCoreApplication::quit();
        });
      }
    }
    return false;
  }

 private:
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  PrepareBenchEnvironment();
  int result = 0;
  {
#ifdef VQ_STARTUP_REAL_WINDOW
    TProgramStart start;
#endif
    QApplication app(argc, argv);
    ExposeProbe probe;
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });
#if defined(VQ_STARTUP_REAL_WINDOW)
    start.PrepareApplication();
    TfmReaderFM w;
#elif defined(VQ_STARTUP_TEXT_WINDOW)
    // The least a window with texts costs: the font configuration, a menu, a text field.
    QMainWindow w;
    w.menuBar()->addMenu(QStringLiteral("File"));
    w.setCentralWidget(new QPlainTextEdit);
    w.resize(751, 570);
#else
    QMainWindow w;
    w.resize(759, 608);
#endif
    w.show();
    w.windowHandle()->installEventFilter(&probe);
#ifdef VQ_STARTUP_REAL_WINDOW
    start.AfterMainWindowShown(w);
#endif
    result = QApplication::exec();
  }
#ifdef VQ_STARTUP_REAL_WINDOW
  CloseLog();
#endif
  return result;
}
