#include "app/ProgramStart.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <clocale>
#include <cstdlib>
#include <string>

#include <fontconfig/fontconfig.h>

#include "app/PictureIcon.h"
#include "app/ProgramStyle.h"
#include "support/InterfaceTexts.h"
#include "support/LogFile.h"
#include "support/MessageBox.h"

namespace {

// Opens the log once the window it watches has been painted for the first time.
class TLogAfterFirstPaint : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* e) override {
    // The paint follows the expose at once; what is posted now runs after it.
    if (e->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
      watched->removeEventFilter(this);
      QTimer::singleShot(0, [] { OpenLog(); });
      deleteLater();
    }
    return false;
  }
};

}  // namespace

TProgramStart::TProgramStart() {
  // The other thread reads the locale and the environment while Qt starts, so neither may change
  // under it. Qt's first step, setlocale(LC_ALL, ""), is taken here already, which leaves Qt's
  // own call nothing to change. The xcb platform removes DESKTOP_STARTUP_ID (set by a start from
  // the desktop's menu) from the environment; a removal moves every variable behind it one place
  // up, and a lookup running meanwhile could miss one of them, but nothing is behind the last.
  std::setlocale(LC_ALL, "");
  if (const char* id = std::getenv("DESKTOP_STARTUP_ID")) {
    const std::string value = id;
    ::unsetenv("DESKTOP_STARTUP_ID");
    ::setenv("DESKTOP_STARTUP_ID", value.c_str(), 1);
  }
  // fontconfig keeps what FcInit reads for the whole process; Qt's own FcInit then finds it.
  fontConfiguration_ = std::thread([] { FcInit(); });
}

TProgramStart::~TProgramStart() {
  if (fontConfiguration_.joinable()) fontConfiguration_.join();
}

void TProgramStart::PrepareApplication() {
  QApplication::setApplicationName(QStringLiteral("veltra-qrm"));
  QApplication::setDesktopFileName(QStringLiteral("org.veltra.qrm"));
  LoadToolkitTranslation();
  // The window layouts name the classic design fonts; where the system has none of them,
  // use the metric-compatible free fonts (the same ones the dialogs are laid out with).
  InstallFontSubstitutes();
  SetApplicationTitle(QStringLiteral("VELTRA_QRM"));
  QApplication::setStyle(new TProgramStyle(QApplication::style()->name()));
  QApplication::setWindowIcon(PictureIcon("veltra-qrm"));
  // Meanwhile the other thread is most likely still reading the font configuration.
  for (const char* name : {"read", "print", "burn", "save", "exit"}) PictureIcon(name).availableSizes();
  // The window's first font makes Qt load the configuration too, and two threads loading it
  // would each read it whole: the window waits for this one to finish.
  if (fontConfiguration_.joinable()) fontConfiguration_.join();
}

void TProgramStart::AfterMainWindowShown(QWidget& window) {
  QWindow* handle = window.windowHandle();
  if (handle != nullptr && !handle->isExposed())
    handle->installEventFilter(new TLogAfterFirstPaint(handle));
  else  // already painted, or never will be: the log must open all the same
    QTimer::singleShot(0, [] { OpenLog(); });
}
