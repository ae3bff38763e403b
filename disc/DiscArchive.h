#pragma once
// Reading an archive back: the reports on a disc or an image file, whether they are still intact, and
// one of them whole again. Part of disc/'s public surface beside disc/DiscComponents.h.
//
// Usage model. A TArchiveReadJob does one task on a worker thread (see jobs/SmProgressThread.h):
//   auto job = std::make_unique<TArchiveReadJob>(source, TArchiveReadJob::Check);
//   connect(job.get(), &TSmProgressThread::progressChanged, ...);  // bytes read of the bytes to read
//   connect(job.get(), &TSmProgressThread::finished, ...);
//   job->Resume();  ...  job->Cancel();           // the body stops within a quarter of a second
//   job->Wait();  job->Reports(), job->Sessions()  // or job->Failure(), its class kept
// The source is an image file, a recorder's device ("/dev/sr0"), or a recorder's DeviceName. List
// reads the sessions' directories; Check also reads every block of every session and compares it with
// the recorded checksums; Extract reads one report (the newest copy of ReportName), checks it, and
// writes it to OutputPath whole or not at all, or keeps its bytes for TakeBytes().
//
// A disc is read through its drive, also while it is mounted, and nothing is unmounted for it; the
// drive is held only while the job runs. Failures: EArchiveSource (cannot be opened, holds no
// archive), EReportNotFound, EReportDamaged (damaged or unreadable: nothing written), EArchiveOutput
// (the output cannot be written); a cancelled job ends with a failure too (check Terminated()).
#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "jobs/SmProgressThread.h"
#include "support/Exceptions.h"

enum class TReportState {
  NotChecked,
  Intact,      // its checksum (the file's own, else its session's) matches
  Damaged,     // a checksum differs
  Unreadable,  // a read error
  NoChecksum,  // read whole, but written without checksums (by earlier versions)
};

// A report reads whole unless it is damaged or unreadable; one without a checksum counts as intact.
inline bool IsBadReport(TReportState state) {
  return state == TReportState::Damaged || state == TReportState::Unreadable;
}

// One copy of a report, in the session in which its data was written.
struct TArchivedReport {
  int Session = 0;     // from 1, the oldest
  QDateTime Recorded;  // the session's volume creation time; invalid when it has none
  QString Name;        // its path on the disc without the leading "/"; empty for a session whose
                       // contents cannot be read at all
  qint64 Size = 0;     // bytes
  TReportState State = TReportState::NotChecked;
};

class EArchiveSource : public Exception {
 public:
  using Exception::Exception;
};
class EReportNotFound : public Exception {
 public:
  using Exception::Exception;
};
class EReportDamaged : public Exception {
 public:
  using Exception::Exception;
};
class EArchiveOutput : public Exception {
 public:
  using Exception::Exception;
};

class TArchiveReadJob : public TSmProgressThread {
  Q_OBJECT
 public:
  enum TTask { List, Check, Extract };
  TArchiveReadJob(QString source, TTask task, QObject* parent = nullptr)
      : TSmProgressThread(parent), source_(std::move(source)), task_(task) {}
  ~TArchiveReadJob() override {
    Cancel();
    Wait();
  }

  QString ReportName;      // Extract: as listed; a name written again later is taken in its newest copy
  std::string OutputPath;  // Extract: the file to write; empty keeps the bytes for TakeBytes()

  // After finished(): oldest session first, by name within a session; the states after Check (and,
  // for the one report, after Extract).
  const std::vector<TArchivedReport>& Reports() const { return reports_; }
  int Sessions() const { return sessions_; }
  std::string TakeBytes() { return std::move(bytes_); }

 protected:
  void DoExecute() override;

 private:
  QString source_;
  TTask task_;
  std::vector<TArchivedReport> reports_;
  int sessions_ = 0;
  std::string bytes_;
};
