// Program entry: the application object, the main window and the event loop, in the steps that
// TProgramStart describes.
#include <QApplication>

#include "app/ProgramStart.h"
#include "app/ReaderFM.h"
#include "support/LogFile.h"

int main(int argc, char* argv[]) {
  int result = 0;
  {
    TProgramStart start;
    QApplication app(argc, argv);
    start.PrepareApplication();
    TfmReaderFM window;
    window.show();
    start.AfterMainWindowShown(window);
    result = QApplication::exec();
  }
  CloseLog();
  return result;
}
