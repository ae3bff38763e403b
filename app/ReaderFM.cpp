#include "app/ReaderFM.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QToolButton>
#include <QUrl>

#include "app/ArchiveAction.h"
#include "app/BurnAction.h"
#include "app/Captions.h"
#include "app/FindBar.h"
#include "app/PictureIcon.h"
#include "app/PrintReport.h"
#include "app/ProgramModules.h"
#include "app/ReportShelf.h"
#include "app/ReportFiles.h"
#include "app/ReportView.h"
#include "device/ReadKLEN.h"
#include "device/ReportCodec.h"
#include "jobs/SmallProgressForm.h"
#include "options/ReadOptions.h"
#include "support/AppPaths.h"
#include "support/Exceptions.h"
#include "support/InterfaceTexts.h"
#include "support/MessageBox.h"
#include "support/Settings.h"
#include "support/TextUtils.h"
#include "support/VersionInfo.h"
#include "ui_ReaderFM.h"

namespace {

constexpr const char* kSection = "fmReaderFM";
constexpr const char* kProductTitle = "Veltra Qormilesk";
constexpr const char* kApplicationTitle = "Veltra QRM";
// Room for captions: five toolbar buttons of the widest kind still fit the designed width.
constexpr int kMostButtonWidth = 150;
constexpr int kButtonPadding = 12;
constexpr int kMostMenuTitleWidth = 200;
constexpr int kMostMenuTextWidth = 400;
constexpr int32_t kPrintRows = 74;

bool IsReportFile(const QUrl& url) {
  return url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".txt"), Qt::CaseInsensitive);
}

}  // namespace

TfmReaderFM::TfmReaderFM(QWidget* parent) : QMainWindow(parent), ui_(new Ui::fmReaderFM) {
  // Before the controls exist, so they are made with it instead of all being told of a change.
  setFont(DesignFont("MS Sans Serif", 11));
  {
    // A text view lays out its new, empty document once in the application's font before it
    // takes its own: loading that font is wasted at start-up, when nothing shows it.
    const QFont applicationFont = QGuiApplication::font();
    QGuiApplication::setFont(font());
    ui_->setupUi(this);
    QGuiApplication::setFont(applicationFont);
  }
  setObjectName(QStringLiteral("fmReaderFM"));

  ui_->acRead->setIcon(PictureIcon("read"));
  ui_->acSaveAs->setIcon(PictureIcon("save"));
  ui_->acPrint->setIcon(PictureIcon("print"));
  ui_->acBurn->setIcon(PictureIcon("burn"));
  ui_->acExit->setIcon(PictureIcon("exit"));

  // Toolbar left to right: Read, Print, Burn, Save As, Exit; each button shows its action.
  ui_->SpeedButton1->setDefaultAction(ui_->acRead);
  ui_->SpeedButton3->setDefaultAction(ui_->acPrint);
  ui_->SpeedButton4->setDefaultAction(ui_->acBurn);
  ui_->SpeedButton2->setDefaultAction(ui_->acSaveAs);
  ui_->SpeedButton5->setDefaultAction(ui_->acExit);
  for (QToolButton* b :
       {ui_->SpeedButton1, ui_->SpeedButton2, ui_->SpeedButton3, ui_->SpeedButton4, ui_->SpeedButton5})
    b->setMaximumWidth(kMostButtonWidth);
  ui_->mmFile->setToolTipsVisible(true);

  int separator = 0;
  for (QAction* a : ui_->mmFile->actions())
    if (a->isSeparator()) a->setObjectName(QStringLiteral("N%1").arg(++separator));

  connect(ui_->acRead, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acReadExecute); });
  connect(ui_->acOpen, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acOpenExecute); });
  connect(ui_->acSaveAs, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acSaveAsExecute); });
  connect(ui_->acPrint, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acPrintExecute); });
  connect(ui_->acPrintPreview, &QAction::triggered, this,
          [this] { RunAction(&TfmReaderFM::acPrintPreviewExecute); });
  connect(ui_->acBurn, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acBurnExecute); });
  connect(ui_->acArchive, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acArchiveExecute); });
  connect(ui_->acExit, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acExitExecute); });
  shelf_ = new TReportShelf(ui_->mmRecent, this);
  connect(shelf_, &TReportShelf::openRequested, this, [this](const QString& path) {
    if (shelf_->StillThere(path)) OpenReportFile(path);
  });

  LoadTexts();
  SetUpKeys();
  const QString version = QString::fromStdString(GetFileVersionText(ProgramFilePath()));
  setWindowTitle(QStringLiteral("%1 %2").arg(QLatin1String(kProductTitle), version));
  SetApplicationTitle(QStringLiteral("%1 %2").arg(QLatin1String(kApplicationTitle), version));
  LoadSettings();

  // Dropped report files are the window's; the view would take their text as an edit.
  setAcceptDrops(true);
  ui_->richResult->setAcceptDrops(false);
  resize(DesignClientSize(759, 608).expandedTo(sizeHint()));
  if (const QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

TfmReaderFM::~TfmReaderFM() = default;

void TfmReaderFM::LoadTexts() {
  const TTextTable texts;
  const TCaptionRoom room{QFontMetrics(ui_->mmFile->font()), QFontMetrics(ui_->SpeedButton1->font()),
                          kMostMenuTextWidth, kMostButtonWidth - kButtonPadding};
  const std::pair<QAction*, const char*> captions[] = {{ui_->acRead, "Read"},
                                                       {ui_->acOpen, "Open..."},
                                                       {ui_->acSaveAs, "Save As..."},
                                                       {ui_->acPrint, "Print"},
                                                       {ui_->acPrintPreview, "Print Preview..."},
                                                       {ui_->acBurn, "Burn"},
                                                       {ui_->acArchive, "Archive..."},
                                                       {ui_->acExit, "Exit"}};
  for (const auto& [action, english] : captions)
    SetActionCaption(action, texts.Read(kSection, action->objectName().toLatin1().constData(), english),
                     room);
  const QFontMetrics titleFont(ui_->MM->font());
  SetMenuTitle(ui_->mmFile, texts.Read(kSection, "mmFile", "File"), titleFont, kMostMenuTitleWidth);
  SetMenuTitle(ui_->mmRecent, texts.Read(kSection, "mmRecent", "Recent Reports"), room.menu,
               kMostMenuTextWidth);
  AssignShortcutLetters(ui_->MM);

  const std::pair<QString*, TTextKey> messages[] = {{&texts_.Read, ReadTexts::Caption},
                                                    {&texts_.Progress, ReadTexts::Progress},
                                                    {&texts_.StatusLabel, ReadTexts::StatusLabel},
                                                    {&texts_.Cancel, ReadTexts::Cancel},
                                                    {&texts_.NoAnswer, ReadTexts::NoAnswer},
                                                    {&texts_.IncorrectPeriod, ReadTexts::IncorrectPeriod},
                                                    {&texts_.IncorrectRange, ReadTexts::IncorrectRange},
                                                    {&texts_.FinishingEarlier, ReadTexts::FinishingEarlier},
                                                    {&texts_.ReceivedCount, ReadTexts::ReceivedCount}};
  for (const auto& [target, key] : messages) *target = texts.Read(key);
}

void TfmReaderFM::SetUpKeys() {
  ui_->acRead->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  ui_->acOpen->setShortcut(QKeySequence::Open);
  ui_->acSaveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  ui_->acPrint->setShortcut(QKeySequence::Print);
  ui_->acExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

// Keys without a menu item, as the focused control leaves them (window shortcuts would cost the start).
void TfmReaderFM::keyPressEvent(QKeyEvent* e) {
  TReportView* view = ui_->richResult;
  if (e->matches(QKeySequence::Find))
    RunAction(&TfmReaderFM::acFindExecute);
  else if (e->matches(QKeySequence::FindNext) || e->matches(QKeySequence::FindPrevious))
    findBar_ ? findBar_->FindNext(e->matches(QKeySequence::FindPrevious)) : acFindExecute();
  else if (e->matches(QKeySequence::ZoomIn) || e->keyCombination() == (Qt::CTRL | Qt::Key_Equal))
    view->SetZoom(view->Zoom() + 1);
  else if (e->matches(QKeySequence::ZoomOut))
    view->SetZoom(view->Zoom() - 1);
  else if (e->keyCombination() == (Qt::CTRL | Qt::Key_0))
    view->SetZoom(0);
  else
    return QMainWindow::keyPressEvent(e);
  e->accept();
}

void TfmReaderFM::LoadSettings() {
  const TIniFile_VT ini;
  portName_ = ReadSetting(ini, Setting::SerialPort);
  baud_ = ReadSetting(ini, Setting::BaudRate);
  ui_->richResult->LoadZoom(ini);
}

void TfmReaderFM::SaveSettings() {
  TIniFile_VT ini;
  WriteSetting(ini, Setting::SerialPort, portName_);
  WriteSetting(ini, Setting::BaudRate, baud_);
}

void TfmReaderFM::RunAction(void (TfmReaderFM::*body)()) {
  try {
    (this->*body)();
  } catch (const std::exception& e) {
    ShowErrorBox(e);
  } catch (...) {
    ShowErrorBox(QStringLiteral("Unknown error"));
  }
}

void TfmReaderFM::ShowReport(TReport report) {
  report_ = std::move(report);
  ui_->richResult->Fill(report_.Lines);
}

TReportCommand TfmReaderFM::MakeReportRequest(int searchMode, int reportType, const QDate& from,
                                              const QDate& to, int fromNumber, int toNumber,
                                              const std::string& monthYear) const {
  TReportRequest request;
  request.Type = reportType == 0 ? TReportType::Detailed : TReportType::Summary;
  switch (searchMode) {
    case 0: request.Period = TReportDates{from, to}; break;
    case 1: request.Period = TReportNumbers{fromNumber, toNumber}; break;
    case 2: request.Period = TReportMonth{monthYear}; break;
    default: throw Exception(FormatText("Unknown search mode %d", searchMode));
  }
  switch (request.Check()) {
    case TReportCheck::Ok: break;
    case TReportCheck::EndBeforeStart: throw Exception(texts_.IncorrectPeriod.toStdString());
    case TReportCheck::FirstAboveLast: throw Exception(texts_.IncorrectRange.toStdString());
    // The options dialog offers no summary by month.
    case TReportCheck::SummaryByMonth: throw Exception("A month can only be read in detail");
  }
  return request.Build();
}

void TfmReaderFM::acReadExecute() {
  auto options = std::make_unique<TfmReadOptions>();
  options->SetPortName(portName_);
  options->SetBaud(baud_);
  if (options->exec() != QDialog::Accepted) return;

  portName_ = options->GetPortName();
  baud_ = options->GetBaud();
  SaveSettings();  // kept even when the checks below refuse the request

  const TReportCommand command = MakeReportRequest(
      options->GetSearchMode(), options->GetReportType(), options->GetFromDate(), options->GetToDate(),
      options->GetFromNumber(), options->GetToNumber(), options->GetMonthYear());
  options.reset();

  // The read fills the job's own report; the window's report, names and view change only when
  // the read has ended whole, so a Cancel or a failure leaves them as they were.
  auto job = std::make_unique<TReadKLEN>();
  job->PortName = portName_;
  job->Baud = baud_;
  job->SetRequest(command);
  job->StatusText = texts_.Progress;
  job->FinishingText = texts_.FinishingEarlier;
  job->ProgressFormat = texts_.ReceivedCount;

  RunWithProgress(job.get(), texts_.Read, texts_.StatusLabel, texts_.Cancel, this);
  if (job->Terminated()) return;  // cancelled: no box, nothing changes
  const bool gaveUp = job->GaveUp();
  if (gaveUp) ShowNoAnswer();
  ShowReport(job->TakeReport());
  if (!gaveUp) shelf_->Keep(report_);  // a read the printer did not finish is shown, not kept
}

void TfmReaderFM::ShowNoAnswer() { ShowMessageBox(this, texts_.NoAnswer, mkError, 0, QString(), 0); }

void TfmReaderFM::acOpenExecute() {
  const QString file = OpenFileChooser ? OpenFileChooser(QFile::decodeName(HistoryFolder().c_str()))
                                       : shelf_->ChooseFile(ui_->acOpen->toolTip());
  if (!file.isEmpty()) OpenReportFile(file);
}

void TfmReaderFM::OpenReportFile(const QString& path) {
  if (std::optional<TReport> report = shelf_->Load(path)) ShowReport(std::move(*report));
}

void TfmReaderFM::dragEnterEvent(QDragEnterEvent* e) {
  const QList<QUrl> urls = e->mimeData()->urls();
  if (urls.size() == 1 && IsReportFile(urls.front())) e->acceptProposedAction();
}

void TfmReaderFM::dropEvent(QDropEvent* e) {
  const QList<QUrl> urls = e->mimeData()->urls();
  if (urls.size() != 1 || !IsReportFile(urls.front())) return;
  e->acceptProposedAction();
  OpenReportFile(urls.front().toLocalFile());
}

void TfmReaderFM::acFindExecute() {
  if (!findBar_) {
    findBar_ = new TFindBar(ui_->richResult, ui_->centralwidget);
    ui_->clientLayout->addWidget(findBar_);
  }
  findBar_->Open();
}

QString TfmReaderFM::ChooseSaveFileName() {
  if (SaveFileChooser) return SaveFileChooser(lastSaveFileName_);
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("SaveDialog1"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("Text file (*.txt)"));
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!lastSaveFileName_.isEmpty()) dialog.selectFile(lastSaveFileName_);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

void TfmReaderFM::acSaveAsExecute() {
  if (report_.Lines.empty()) return;
  const QString fileName = ChooseSaveFileName();
  if (fileName.isEmpty()) return;
  lastSaveFileName_ = fileName;
  WriteReportFile(QFile::encodeName(fileName).toStdString(), report_.Lines);
}

QString TfmReaderFM::DocName() const { return ReportText(report_.FileName); }

void TfmReaderFM::acPrintExecute() {
  if (!ui_->richResult->HasLines()) return;
  TStringList rows;
  MakePrintColumns(report_.Lines.ToList(), rows, kPrintRows, TReportView::kLineWidth);
  ProgramModuleFunction<TPrintReportEntry>("print", kPrintReportEntry)(this, rows, DocName(), PrintChooser);
}

void TfmReaderFM::acPrintPreviewExecute() {
  if (!ui_->richResult->HasLines()) return;
  TStringList rows;
  MakePrintColumns(report_.Lines.ToList(), rows, kPrintRows, TReportView::kLineWidth);
  ProgramModuleFunction<TPreviewReportEntry>("print", kPreviewReportEntry)(this, rows, DocName());
}

void TfmReaderFM::acBurnExecute() {
  if (!ui_->richResult->HasLines()) return;
  ProgramModuleFunction<TBurnReportEntry>("burn", kBurnReportEntry)(this, report_.Lines, report_.FileName,
                                                                    report_.Stem);
}

void TfmReaderFM::acArchiveExecute() {
  TReport opened;
  if (ProgramModuleFunction<TArchiveWindowEntry>("archive", kArchiveWindowEntry)(this, opened))
    ShowReport(std::move(opened));
}

void TfmReaderFM::acExitExecute() { close(); }
