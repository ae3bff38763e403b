#pragma once
// veltra-qrm-archive: the reports of an archive disc or image file, checked or extracted, without a
// window.
//
//   veltra-qrm-archive list /dev/sr0
//   veltra-qrm-archive check /srv/fiscal/archive.iso
//   veltra-qrm-archive extract archive.iso ZHK12345678_0007_0012.txt --output-dir /tmp
//
// It reads through the same job as the Archive window (disc/DiscArchive.h) and prints the window's
// summary texts. Results go to stdout as lines of fields separated by tabs, names in UTF-8 whatever
// the locale; messages go to stderr; the exit status says what happened (TArchiveExit).
#include <QString>
#include <QStringList>
#include <string>

enum TArchiveExit : int {
  kArchiveDone = 0,
  kArchiveBadArguments = 1,
  kArchiveNoSource = 2,  // the source cannot be opened or holds no archive
  kArchiveDamage = 3,    // a report is damaged or unreadable (one without a checksum counts as intact)
  kArchiveNoReport = 4,
  kArchiveNotWritten = 5,
  kArchiveInterrupted = 130,
};

struct TArchiveArgs {
  enum TCommand { None, List, Check, Extract };
  TCommand Command = None;
  bool Help = false, Version = false;
  QString Source, Name;
  std::string Output, OutputDir;
};

// Parses the arguments (without the program name); throws EBadArguments.
TArchiveArgs ParseArchiveArgs(const QStringList& args);

QString ArchiveUsage();

// The whole program; needs a QCoreApplication. Returns the exit status.
int RunArchiveCommand(const QStringList& args);
