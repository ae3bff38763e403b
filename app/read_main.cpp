// veltra-qrm-read: the report reader without a window (app/HeadlessRead.h).
#include <QCoreApplication>

#include "app/HeadlessRead.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("veltra-qrm-read"));
  QStringList args = QCoreApplication::arguments();
  args.removeFirst();
  return RunHeadlessRead(args);
}
