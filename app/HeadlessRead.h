#pragma once
// veltra-qrm-read: one report read without a window, for scripts and cron.
//
//   veltra-qrm-read --port COM1 --dates 01.03.2024-31.03.2024 --output-dir /srv/fiscal
//
// It is the Read command of the window program without the window: the same port names, saved
// speed, checks and texts, the same read job (so the same communication log and the same look
// for an earlier report), and the file exactly as Save As writes it. The path written goes to
// stdout, every message to stderr; the exit status says what happened (THeadlessExit).
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

#include "device/ReadTexts.h"
#include "device/Report.h"
#include "support/Exceptions.h"

enum THeadlessExit : int {
  kExitWritten = 0,
  kExitBadArguments = 1,
  kExitPortNotOpened = 2,
  kExitNoAnswer = 3,
  kExitDeviceFailure = 4,
  kExitNotWritten = 5,
  kExitInterrupted = 130,
};

// The window's texts for the checks and the outcome (Strings.ini, the language file, English).
struct THeadlessTexts {
  QString IncorrectPeriod = ReadTexts::IncorrectPeriod.Default();
  QString IncorrectRange = ReadTexts::IncorrectRange.Default();
  QString NoAnswer = ReadTexts::NoAnswer.Default();
  QString Finishing = ReadTexts::FinishingEarlier.Default();
  QString Progress = ReadTexts::ReceivedCount.Default();
  QString KeepFailed = ReadTexts::KeepFailed.Default();
  void Load();
};

struct THeadlessArgs {
  bool Help = false, Version = false;
  bool History = true;  // --no-history: this read is not kept in the history folder
  std::string Port;
  int32_t Baud = 0;  // 0: the saved speed, else the window's default
  TReportRequest Request;
  std::string Output, OutputDir;
};

// Parses the arguments (without the program name) and makes the window's checks of the period;
// throws EBadArguments.
THeadlessArgs ParseHeadlessArgs(const QStringList& args, const THeadlessTexts& texts);

QString HeadlessUsage();

// The whole program; needs a QCoreApplication. Returns the exit status.
int RunHeadlessRead(const QStringList& args);
