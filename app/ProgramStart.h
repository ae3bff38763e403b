#pragma once
// The program's start around the main window. main() and the start-up benchmark run the same
// steps, so the benchmark times what the operator waits for:
//
//   TProgramStart start;                 // first of all, before the QApplication
//   QApplication app(argc, argv);
//   start.PrepareApplication();
//   TfmReaderFM window;
//   window.show();
//   start.AfterMainWindowShown(window);
//
// Reading the system's font configuration is the largest single step before the first window
// with text can be painted, and it needs nothing from Qt; so it runs on a second thread while Qt
// starts, and the main thread waits for it only where the first font is needed.
#include <thread>

class QWidget;

class TProgramStart {
 public:
  TProgramStart();
  ~TProgramStart();  // waits for the font configuration when nobody did
  TProgramStart(const TProgramStart&) = delete;
  TProgramStart& operator=(const TProgramStart&) = delete;

  // Once the QApplication exists: the program's names, the toolkit's own texts in the
  // desktop's language, font substitutes, application title, style and window icon. Returns
  // with the font configuration read.
  void PrepareApplication();
  // Opens the log after the window's first paint: only a read writes to it, and no read can
  // start before the window is on screen.
  void AfterMainWindowShown(QWidget& window);

 private:
  std::thread fontConfiguration_;
};
