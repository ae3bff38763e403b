#include "disc/ArchiveDialog.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>

#include "disc/DiscTexts.h"
#include "disc/RecorderList.h"
#include "support/MessageBox.h"

namespace {

// The open dialog of the "Image file..." entry, when a test replaces it.
std::function<QString(QWidget*, const QString&)> g_imageFileDialog;

enum TColumn { colSession, colDate, colReport, colSize, colState };

}  // namespace

void TfmArchive::SetImageFileDialogForTesting(std::function<QString(QWidget*, const QString&)> dialog) {
  g_imageFileDialog = std::move(dialog);
}

TfmArchive::TfmArchive(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::WindowMaximizeButtonHint) {
  setupUi(this);
  SetUpRecorderList(cbSource);
  QHeaderView* header = tblReports->horizontalHeader();
  for (const int column : {colSession, colDate, colSize, colState})
    header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(colReport, QHeaderView::Stretch);
  DiscRecorder = new TDiscRecorder(this);
  DiscRecorder->setObjectName(QStringLiteral("DiscRecorder"));
  LoadTexts();
  connect(cbSource, &QComboBox::activated, this, &TfmArchive::SourceChosen);
  connect(btnCheck, &QPushButton::clicked, this, [this] { btnCheckClick(); });
  connect(btnOpen, &QPushButton::clicked, this, [this] { btnOpenClick(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { close(); });
  connect(tblReports, &QTableWidget::cellDoubleClicked, this, [this] { btnOpenClick(); });
  setMinimumSize(DesignClientSize(640, 400).expandedTo(sizeHint()));
  resize(minimumSize());
  try {
    FillRecorderList(cbSource, *DiscRecorder, deviceWord_, imageFileWord_);
  } catch (const std::exception& e) {
    lblSummary->setText(QString::fromUtf8(e.what()));
  }
  // The first source is read at once, unless it is the entry that asks for a file.
  if (!IsImageFileEntry(cbSource, cbSource->currentIndex())) SourceChosen(cbSource->currentIndex());
}

void TfmArchive::LoadTexts() {
  const TTextTable t;
  setWindowTitle(t.Read(DiscTexts::ArchiveCaption));
  lblSource->setText(t.Read(DiscTexts::Source));
  check_ = t.Read(DiscTexts::Check);
  cancel_ = t.Read(DiscTexts::Cancel);
  btnCheck->setText(check_);
  btnOpen->setText(t.Read(DiscTexts::Open));
  btnClose->setText(t.Read(DiscTexts::Close));
  tblReports->setHorizontalHeaderLabels({t.Read(DiscTexts::ColumnSession), t.Read(DiscTexts::ColumnDate),
                                         t.Read(DiscTexts::ColumnReport), t.Read(DiscTexts::ColumnSize),
                                         t.Read(DiscTexts::ColumnState)});
  states_[static_cast<int>(TReportState::NotChecked)] = t.Read(DiscTexts::NotChecked);
  states_[static_cast<int>(TReportState::Intact)] = t.Read(DiscTexts::Intact);
  states_[static_cast<int>(TReportState::Damaged)] = t.Read(DiscTexts::Damaged);
  states_[static_cast<int>(TReportState::Unreadable)] = t.Read(DiscTexts::Unreadable);
  states_[static_cast<int>(TReportState::NoChecksum)] = t.Read(DiscTexts::NoChecksum);
  unreadableSession_ = t.Read(DiscTexts::UnreadableSession);
  deviceWord_ = t.Read(DiscTexts::Device);
  imageFileWord_ = t.Read(DiscTexts::ImageFile);
  reading_ = t.Read(DiscTexts::Reading);
  listed_ = t.Read(DiscTexts::Listed);
  allIntact_ = t.Read(DiscTexts::AllIntact);
  someBad_ = t.Read(DiscTexts::SomeBad);
  // Check turns into Cancel while reading: it keeps room for the longer of the two.
  btnCheck->setMinimumWidth(
      std::max({btnCheck->minimumWidth(), btnCheck->fontMetrics().horizontalAdvance(check_) + 24,
                btnCheck->fontMetrics().horizontalAdvance(cancel_) + 24}));
}

QString TfmArchive::StateText(TReportState state) const { return states_[static_cast<int>(state)]; }

// The last entry asks for an image file, which then joins the list; a cancelled choice goes back to
// the source shown.
void TfmArchive::SourceChosen(int index) {
  if (job_) return;
  if (IsImageFileEntry(cbSource, index)) {
    const QString file = g_imageFileDialog ? g_imageFileDialog(this, ImageFile)
                                           : QFileDialog::getOpenFileName(this, imageFileWord_, ImageFile,
                                                                          QStringLiteral("*.iso"));
    if (file.isEmpty()) {
      cbSource->setCurrentIndex(std::max(shownSource_, 0));
      return;
    }
    ImageFile = file;
    try {
      const int32_t device = DiscRecorder->AddImageTarget(file);
      FillRecorderList(cbSource, *DiscRecorder, deviceWord_, imageFileWord_);
      index = device - 1;
      cbSource->setCurrentIndex(index);
    } catch (const std::exception& e) {
      ShowErrorBox(e);
      return;
    }
  }
  shownSource_ = index;
  ShowRows({});
  Start(TArchiveReadJob::List);
}

void TfmArchive::btnCheckClick() {
  if (job_) {
    job_->Cancel();
  } else if (shownSource_ >= 0) {
    Start(TArchiveReadJob::Check);
  }
}

void TfmArchive::btnOpenClick() {
  const int row = tblReports->currentRow();
  if (job_ || row < 0 || row >= static_cast<int>(rows_.size()) ||
      rows_[static_cast<size_t>(row)].Name.isEmpty())
    return;
  Start(TArchiveReadJob::Extract, rows_[static_cast<size_t>(row)].Name);
}

void TfmArchive::Start(TArchiveReadJob::TTask task, const QString& name) {
  task_ = task;
  job_ = std::make_unique<TArchiveReadJob>(DiscRecorder->UniqueIdOf(shownSource_ + 1), task);
  job_->ReportName = name;
  connect(job_.get(), &TSmProgressThread::progressChanged, this, [this](qint64 done, qint64 total) {
    // Kept in kilobytes, which the bar's int holds for any disc.
    ProgressBar->setMaximum(static_cast<int>(std::max<qint64>(total / 1024, 1)));
    ProgressBar->setValue(static_cast<int>(done / 1024));
  });
  connect(job_.get(), &TSmProgressThread::finished, this, &TfmArchive::Finished);
  btnCheck->setText(cancel_);
  btnOpen->setEnabled(false);
  cbSource->setEnabled(false);
  lblSummary->setText(reading_);
  ProgressBar->setValue(0);
  job_->Resume();
}

void TfmArchive::Finished() {
  job_->Wait();
  const std::unique_ptr<TArchiveReadJob> job = std::move(job_);
  btnCheck->setText(check_);
  btnOpen->setEnabled(true);
  cbSource->setEnabled(true);
  ProgressBar->setValue(0);
  if (closeWhenDone_) {
    QDialog::done(Rejected);
    return;
  }
  const std::vector<TArchivedReport>& reports = job->Reports();
  const auto reportCount = static_cast<qsizetype>(reports.size());
  const auto bad =
      std::ranges::count_if(reports, [](const TArchivedReport& r) { return IsBadReport(r.State); });
  if (job->Terminated() || job->Failure()) {
    // A listing that fails says why in the window; a check or an Open the operator asked for, in a box.
    const QString why = job->Terminated() ? QString() : job->FailureText();
    lblSummary->setText(task_ == TArchiveReadJob::List ? why : listed_.arg(rows_.size()).arg(sessions_));
    if (task_ != TArchiveReadJob::List && !why.isEmpty()) ShowErrorBox(why);
    return;
  }
  sessions_ = job->Sessions();
  if (task_ == TArchiveReadJob::Extract) {
    OpenedName = job->ReportName;
    OpenedBytes = job->TakeBytes();
    accept();
    return;
  }
  ShowRows(reports);
  lblSummary->setText(task_ == TArchiveReadJob::List ? listed_.arg(reportCount).arg(sessions_)
                      : bad == 0                     ? allIntact_.arg(reportCount).arg(sessions_)
                                                     : someBad_.arg(bad).arg(reportCount));
}

void TfmArchive::ShowRows(const std::vector<TArchivedReport>& rows) {
  rows_ = rows;
  tblReports->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const TArchivedReport& report = rows[static_cast<size_t>(r)];
    const QString cells[] = {QString::number(report.Session),
                             report.Recorded.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                             report.Name.isEmpty() ? unreadableSession_ : report.Name,
                             QString::number(report.Size), StateText(report.State)};
    for (int c = 0; c < 5; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c == colSession || c == colSize) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      tblReports->setItem(r, c, item);
    }
  }
  if (!rows.empty()) tblReports->selectRow(static_cast<int>(rows.size()) - 1);
}

void TfmArchive::done(int result) {
  if (job_) {
    closeWhenDone_ = true;
    job_->Cancel();
    return;
  }
  QDialog::done(result);
}
