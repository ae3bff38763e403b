// veltra-qrm-archive: the archive reader without a window (app/ArchiveCommand.h).
#include <QCoreApplication>

#include "app/ArchiveCommand.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("veltra-qrm-archive"));
  QStringList args = QCoreApplication::arguments();
  args.removeFirst();
  return RunArchiveCommand(args);
}
