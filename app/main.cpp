// Program entry: log first, then the application object, the main window and the event loop.
#include <QApplication>
#include <QIcon>

#include "app/ReaderFM.h"
#include "support/LogFile.h"
#include "support/MessageBox.h"

int main(int argc, char* argv[]) {
  OpenLog();
  int result = 0;
  {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veltra-qrm"));
    QApplication::setDesktopFileName(QStringLiteral("veltra-qrm"));
    // The window layouts name the classic design fonts; where the system has none of them,
    // use the metric-compatible free fonts (the same ones the dialogs are laid out with).
    InstallFontSubstitutes();
    SetApplicationTitle(QStringLiteral("VELTRA_QRM"));

    TfmReaderFM window;
    QApplication::setWindowIcon(PictureIcon("veltra-qrm"));
    window.show();
    result = QApplication::exec();
  }
  CloseLog();
  return result;
}
