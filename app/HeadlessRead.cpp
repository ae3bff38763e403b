#include "app/HeadlessRead.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>

#include <unistd.h>

#include "app/ReportFiles.h"
#include "device/ReportCodec.h"
#include "device/FiscalLink.h"
#include "device/PortMap.h"
#include "device/SerialPort.h"
#include "device/ReadKLEN.h"
#include "jobs/StopSignals.h"
#include "support/AppPaths.h"
#include "support/Settings.h"
#include "support/InterfaceTexts.h"
#include "support/LogFile.h"
#include "support/VersionInfo.h"

namespace {

constexpr const char* kName = "veltra-qrm-read";
constexpr const char* kWindowProgram = "veltra-qrm";

void Say(FILE* to, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fprintf(to, "%s\n", bytes.constData());
}
void Complain(const QString& text) { Say(stderr, QStringLiteral("%1: %2").arg(QLatin1String(kName), text)); }

QDate Day(const QString& text) { return QDate::fromString(text, QStringLiteral("dd.MM.yyyy")); }

// A port that cannot be opened or set up is the link's ECommError; every other failure is the
// device's or the line's.
THeadlessExit ExitStatusOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ECommError&) {
    return kExitPortNotOpened;
  } catch (const EReadCancelled&) {
    return kExitInterrupted;
  } catch (...) {
    return kExitDeviceFailure;
  }
}

}  // namespace

void THeadlessTexts::Load() {
  const TTextTable texts;
  IncorrectPeriod = texts.Read(ReadTexts::IncorrectPeriod);
  IncorrectRange = texts.Read(ReadTexts::IncorrectRange);
  NoAnswer = texts.Read(ReadTexts::NoAnswer);
  Finishing = texts.Read(ReadTexts::FinishingEarlier);
  Progress = texts.Read(ReadTexts::ReceivedCount);
  KeepFailed = texts.Read(ReadTexts::KeepFailed);
}

QString HeadlessUsage() {
  return QStringLiteral(
      "Usage: veltra-qrm-read --port PORT [--baud N] (--month MM.YYYY | --dates DD.MM.YYYY-DD.MM.YYYY"
      " | --numbers FIRST-LAST) [--summary] [--output FILE | --output-dir DIR] [--no-history]\n"
      "       veltra-qrm-read --help | --version\n"
      "Reads a fiscal-memory report into a file, as Read and Save As of veltra-qrm do.\n"
      "PORT is COMn or a device path beginning with /. The path written goes to stdout.\n"
      "Every report read is also kept in the history folder of veltra-qrm unless --no-history is given.\n"
      "Exit status: 0 written, 1 bad arguments, 2 port not opened, 3 no answer, 4 other device\n"
      "failure, 5 file not written, 130 interrupted.");
}

THeadlessArgs ParseHeadlessArgs(const QStringList& args, const THeadlessTexts& texts) {
  THeadlessArgs a;
  int periods = 0;
  bool summary = false, month = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    QString name = args[i], value;
    const qsizetype eq = name.indexOf(u'=');
    const bool inlineValue = name.startsWith(QLatin1String("--")) && eq > 0;
    if (inlineValue) {
      value = name.mid(eq + 1);
      name = name.left(eq);
    }
    auto next = [&]() -> QString {
      if (inlineValue) return value;
      if (i + 1 >= args.size()) throw EBadArguments(name.toStdString() + " needs a value");
      return args[++i];
    };
    auto bad = [&](const QString& v) {
      return EBadArguments(
          FormatText("%s: \"%s\" is not valid", name.toUtf8().constData(), v.toUtf8().constData()));
    };
    if (name == QLatin1String("--help")) {
      a.Help = true;
    } else if (name == QLatin1String("--version")) {
      a.Version = true;
    } else if (name == QLatin1String("--no-history")) {
      a.History = false;
    } else if (name == QLatin1String("--summary")) {
      summary = true;
    } else if (name == QLatin1String("--port")) {
      const QString v = next();
      int n = 0;
      if (!v.startsWith(u'/') && !ParseComName(v.toStdString(), n)) throw bad(v);
      a.Port = QFile::encodeName(v).toStdString();
    } else if (name == QLatin1String("--baud")) {
      const QString v = next();
      bool ok = false;
      a.Baud = v.toInt(&ok);
      if (!ok || a.Baud <= 0) throw bad(v);
    } else if (name == QLatin1String("--month")) {
      const QString v = next();
      static const QRegularExpression form(QStringLiteral("^(0[1-9]|1[0-2])\\.20(\\d\\d)$"));
      const QRegularExpressionMatch m = form.match(v);
      if (!m.hasMatch()) throw bad(v);
      // The window's month field and its two-digit year field of 20xx.
      a.Request.Period = TReportMonth{(m.captured(1) + m.captured(2)).toStdString()};
      month = true;
      ++periods;
    } else if (name == QLatin1String("--dates")) {
      const QString v = next();
      const QStringList ends = v.split(u'-');
      if (ends.size() != 2 || !Day(ends[0]).isValid() || !Day(ends[1]).isValid()) throw bad(v);
      a.Request.Period = TReportDates{Day(ends[0]), Day(ends[1])};
      ++periods;
    } else if (name == QLatin1String("--numbers")) {
      const QString v = next();
      // Up to four digits each, as the window's number fields take them.
      static const QRegularExpression form(QStringLiteral("^(\\d{1,4})-(\\d{1,4})$"));
      const QRegularExpressionMatch m = form.match(v);
      if (!m.hasMatch()) throw bad(v);
      a.Request.Period = TReportNumbers{m.captured(1).toInt(), m.captured(2).toInt()};
      ++periods;
    } else if (name == QLatin1String("--output")) {
      a.Output = QFile::encodeName(next()).toStdString();
      if (a.Output.empty()) throw EBadArguments("--output needs a file name");
    } else if (name == QLatin1String("--output-dir")) {
      a.OutputDir = QFile::encodeName(next()).toStdString();
      if (a.OutputDir.empty()) throw EBadArguments("--output-dir needs a folder");
    } else {
      throw EBadArguments(FormatText("unknown argument \"%s\"", args[i].toUtf8().constData()));
    }
  }
  if (a.Help || a.Version) return a;
  if (a.Port.empty()) throw EBadArguments("--port is needed");
  if (periods != 1) throw EBadArguments("exactly one of --month, --dates and --numbers is needed");
  if (!a.Output.empty() && !a.OutputDir.empty())
    throw EBadArguments("--output and --output-dir cannot be used together");
  if (summary && month)
    throw EBadArguments("--summary cannot be used with --month: a month is read in detail");
  a.Request.Type = summary ? TReportType::Summary : TReportType::Detailed;
  switch (a.Request.Check()) {
    case TReportCheck::Ok: break;
    case TReportCheck::EndBeforeStart: throw EBadArguments(texts.IncorrectPeriod.toStdString());
    case TReportCheck::FirstAboveLast: throw EBadArguments(texts.IncorrectRange.toStdString());
    case TReportCheck::SummaryByMonth: break;  // refused above with the option names
  }
  return a;
}

int RunHeadlessRead(const QStringList& args) {
  const std::string programFile = ProgramFilePath();
  // The window program's settings, texts and communication log.
  ActAsSiblingProgram(kWindowProgram);
  THeadlessTexts texts;
  texts.Load();

  THeadlessArgs a;
  try {
    a = ParseHeadlessArgs(args, texts);
  } catch (const EBadArguments& e) {
    Complain(QString::fromUtf8(e.what()));
    Say(stderr, QStringLiteral("Try '%1 --help' for more information.").arg(QLatin1String(kName)));
    return kExitBadArguments;
  }
  if (a.Help) {
    Say(stdout, HeadlessUsage());
    return kExitWritten;
  }
  if (a.Version) {
    Say(stdout, QStringLiteral("%1 %2").arg(QLatin1String(kName),
                                            QString::fromStdString(GetFileVersionText(programFile))));
    return kExitWritten;
  }
  if (a.Baud == 0) a.Baud = ReadSetting(TIniFile_VT(), Setting::BaudRate);

  try {
    CatchStopSignals();
  } catch (const std::exception& e) {
    Complain(QString::fromUtf8(e.what()));
    return kExitDeviceFailure;
  }
  OpenLog();
  struct LogCloser {
    ~LogCloser() { CloseLog(); }
  } logCloser;

  TReadKLEN job;
  job.PortName = a.Port;
  job.Baud = a.Baud;
  job.SetRequest(a.Request.Build());
  job.FinishingText = texts.Finishing;
  job.ProgressFormat = texts.Progress;

  QCoreApplication* app = QCoreApplication::instance();
  const bool showProgress = ::isatty(STDERR_FILENO) == 1;
  bool progressShown = false;
  QObject::connect(&job, &TSmProgressThread::statusChanged, app, [&](const QString& text) {
    if (!showProgress || text.isEmpty()) return;
    std::fprintf(stderr, "\r%s\033[K", text.toUtf8().constData());
    progressShown = true;
  });
  RunUntilFinished(job);
  if (progressShown) std::fputs("\n", stderr);

  if (StopSignalCaught() || job.Terminated()) {
    Complain(QStringLiteral("interrupted; nothing written"));
    return kExitInterrupted;
  }
  if (job.Failure()) {
    Complain(job.FailureText());
    return ExitStatusOf(job.TakeFailure());
  }
  if (job.GaveUp()) {
    Complain(texts.NoAnswer);
    return kExitNoAnswer;
  }
  const TReport report = job.TakeReport();
  // Kept as a read in the window is; a report that cannot be kept is still written.
  if (a.History && HistoryEnabled() && !report.Lines.empty()) {
    try {
      KeepReport(report);
    } catch (const EReportNotKept& e) {
      Complain(QString(texts.KeepFailed)
                   .replace(QLatin1String("%1"), QFile::decodeName(e.Folder.c_str()))
                   .replace(QLatin1String("%2"), QString::fromUtf8(e.Reason.c_str())));
    }
  }
  std::string path = a.Output;
  try {
    if (path.empty()) {
      const std::string name = ReportFileNameOnDisk(report.FileName);
      path = a.OutputDir.empty() ? name : a.OutputDir + "/" + name;
    }
    WriteReportFile(path, report.Lines);
  } catch (const std::exception& e) {
    Complain(QString::fromUtf8(e.what()));
    return kExitNotWritten;
  }
  Say(stdout, QDir::current().absoluteFilePath(QFile::decodeName(path.c_str())));
  return kExitWritten;
}
