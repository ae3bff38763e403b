#include "app/ArchiveCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

#include "disc/DiscArchive.h"
#include "disc/DiscTexts.h"
#include "jobs/StopSignals.h"
#include "support/AppPaths.h"
#include "support/TextUtils.h"
#include "support/VersionInfo.h"

namespace {

constexpr const char* kName = "veltra-qrm-archive";

// UTF-8 as it is: names on the disc are UTF-8 whatever the locale says.
void Say(FILE* to, const QString& text) {
  const QByteArray bytes = text.toUtf8() + '\n';
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
}
void Complain(const QString& text) { Say(stderr, QStringLiteral("%1: %2").arg(QLatin1String(kName), text)); }

const char* StateWord(TReportState state) {
  switch (state) {
    case TReportState::Damaged: return "damaged";
    case TReportState::Unreadable: return "unreadable";
    case TReportState::NoChecksum: return "no-checksum";
    default: return "intact";
  }
}

int ExitStatusOf(const TArchiveReadJob& job) {
  try {
    std::rethrow_exception(job.Failure());
  } catch (const EReportDamaged&) {
    return kArchiveDamage;
  } catch (const EReportNotFound&) {
    return kArchiveNoReport;
  } catch (const EArchiveOutput&) {
    return kArchiveNotWritten;
  } catch (...) {
    return kArchiveNoSource;
  }
}

}  // namespace

QString ArchiveUsage() {
  return QStringLiteral(
      "Usage: veltra-qrm-archive list SOURCE\n"
      "       veltra-qrm-archive check SOURCE\n"
      "       veltra-qrm-archive extract SOURCE NAME [--output FILE | --output-dir DIR]\n"
      "       veltra-qrm-archive --help | --version\n"
      "Lists, checks or extracts the reports of an archive disc or image file.\n"
      "SOURCE is an image file or a recorder device such as /dev/sr0.\n"
      "list prints SESSION, recording time, SIZE and NAME of each report; check prints each report\n"
      "that is not intact, then a summary; extract writes the report whole and prints its path.\n"
      "Exit status: 0 done, 1 bad arguments, 2 source not opened or no archive, 3 damage found,\n"
      "4 no report of that name, 5 file not written, 130 interrupted.");
}

TArchiveArgs ParseArchiveArgs(const QStringList& args) {
  TArchiveArgs a;
  QStringList plain;
  for (qsizetype i = 0; i < args.size(); ++i) {
    QString name = args[i], value;
    const qsizetype eq = name.indexOf(u'=');
    const bool inlineValue = name.startsWith(QLatin1String("--")) && eq > 0;
    if (inlineValue) value = name.mid(eq + 1), name = name.left(eq);
    auto next = [&]() -> std::string {
      if (!inlineValue && i + 1 >= args.size()) throw EBadArguments(name.toStdString() + " needs a value");
      const QByteArray v = QFile::encodeName(inlineValue ? value : args[++i]);
      if (v.isEmpty()) throw EBadArguments(name.toStdString() + " needs a value");
      return v.toStdString();
    };
    if (name == QLatin1String("--help")) {
      a.Help = true;
    } else if (name == QLatin1String("--version")) {
      a.Version = true;
    } else if (name == QLatin1String("--output")) {
      a.Output = next();
    } else if (name == QLatin1String("--output-dir")) {
      a.OutputDir = next();
    } else if (name.startsWith(QLatin1String("--"))) {
      throw EBadArguments(FormatText("unknown argument \"%s\"", args[i].toUtf8().constData()));
    } else {
      plain << args[i];
    }
  }
  if (a.Help || a.Version) return a;
  const QString command = plain.value(0);
  a.Command = command == QLatin1String("list")      ? TArchiveArgs::List
              : command == QLatin1String("check")   ? TArchiveArgs::Check
              : command == QLatin1String("extract") ? TArchiveArgs::Extract
                                                    : TArchiveArgs::None;
  if (a.Command == TArchiveArgs::None)
    throw EBadArguments(command.isEmpty()
                            ? "a command is needed: list, check or extract"
                            : FormatText("unknown command \"%s\"", command.toUtf8().constData()));
  const qsizetype wanted = a.Command == TArchiveArgs::Extract ? 3 : 2;
  if (plain.size() != wanted)
    throw EBadArguments(a.Command == TArchiveArgs::Extract ? "extract needs a SOURCE and a NAME"
                                                           : command.toStdString() + " needs one SOURCE");
  a.Source = plain[1];
  a.Name = plain.value(2);
  if (a.Command != TArchiveArgs::Extract && (!a.Output.empty() || !a.OutputDir.empty()))
    throw EBadArguments("--output and --output-dir go with extract only");
  if (!a.Output.empty() && !a.OutputDir.empty())
    throw EBadArguments("--output and --output-dir cannot be used together");
  return a;
}

int RunArchiveCommand(const QStringList& args) {
  TArchiveArgs a;
  try {
    a = ParseArchiveArgs(args);
  } catch (const EBadArguments& e) {
    Complain(QString::fromUtf8(e.what()));
    Say(stderr, QStringLiteral("Try '%1 --help' for more information.").arg(QLatin1String(kName)));
    return kArchiveBadArguments;
  }
  if (a.Help) {
    Say(stdout, ArchiveUsage());
    return kArchiveDone;
  }
  if (a.Version) {
    Say(stdout, QStringLiteral("%1 %2").arg(QLatin1String(kName),
                                            QString::fromStdString(GetFileVersionText(ProgramFilePath()))));
    return kArchiveDone;
  }
  try {
    CatchStopSignals();
  } catch (const std::exception& e) {
    Complain(QString::fromUtf8(e.what()));
    return kArchiveNoSource;
  }
  const auto task = a.Command == TArchiveArgs::List    ? TArchiveReadJob::List
                    : a.Command == TArchiveArgs::Check ? TArchiveReadJob::Check
                                                       : TArchiveReadJob::Extract;
  TArchiveReadJob job(a.Source, task);
  std::string path = a.Output;
  if (task == TArchiveReadJob::Extract) {
    // Under its own name, the last part of its path on the disc.
    const QByteArray own = QFile::encodeName(QFileInfo(a.Name).fileName());
    if (path.empty())
      path = (a.OutputDir.empty() ? QByteArray() : QByteArray::fromStdString(a.OutputDir) + '/') + own;
    job.ReportName = a.Name;
    job.OutputPath = path;
  }
  const bool showProgress = task == TArchiveReadJob::Check && ::isatty(STDERR_FILENO) == 1;
  QObject::connect(&job, &TSmProgressThread::progressChanged, &job, [&](qint64 done, qint64 total) {
    if (showProgress && total > 0)
      std::fprintf(stderr, "\r%3d %%\033[K", static_cast<int>(done * 100 / total));
  });
  RunUntilFinished(job);
  if (showProgress) std::fputs("\r\033[K", stderr);
  if (StopSignalCaught() || job.Terminated()) {
    Complain(QStringLiteral("interrupted; nothing written"));
    return kArchiveInterrupted;
  }
  if (job.Failure()) {
    Complain(job.FailureText());
    return ExitStatusOf(job);
  }
  if (task == TArchiveReadJob::Extract) {
    Say(stdout, QDir::current().absoluteFilePath(QFile::decodeName(path.c_str())));
    return kArchiveDone;
  }
  qsizetype bad = 0;
  for (const TArchivedReport& r : job.Reports()) {
    bad += IsBadReport(r.State) ? 1 : 0;
    const QString session = QString::number(r.Session);
    if (task == TArchiveReadJob::List) {
      const QString when = r.Recorded.isValid() ? r.Recorded.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                                : QStringLiteral("0000-00-00 00:00:00");
      Say(stdout, QStringList{session, when, QString::number(r.Size), r.Name}.join(u'\t'));
    } else if (r.State != TReportState::Intact) {
      Say(stdout, QStringList{QLatin1String(StateWord(r.State)), session, r.Name}.join(u'\t'));
    }
  }
  if (task == TArchiveReadJob::List) return kArchiveDone;
  const TTextTable texts;
  const auto count = static_cast<qsizetype>(job.Reports().size());
  Say(stdout, bad == 0 ? texts.Read(DiscTexts::AllIntact).arg(count).arg(job.Sessions())
                       : texts.Read(DiscTexts::SomeBad).arg(bad).arg(count));
  return bad == 0 ? kArchiveDone : kArchiveDamage;
}
