// Program entry: the application object, the main window and the event loop; the log is
// opened once the window is up.
#include <QApplication>
#include <QIcon>

#include "app/ReaderFM.h"
#include "support/InterfaceTexts.h"
#include "support/LogFile.h"
#include "support/MessageBox.h"

int main(int argc, char* argv[]) {
  int result = 0;
  {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veltra-qrm"));
    QApplication::setDesktopFileName(QStringLiteral("org.veltra.qrm"));
    LoadToolkitTranslation();
    PrepareApplication();

    TfmReaderFM window;
    QApplication::setWindowIcon(PictureIcon("veltra-qrm"));
    window.show();
    AfterMainWindowShown();
    result = QApplication::exec();
  }
  CloseLog();
  return result;
}
