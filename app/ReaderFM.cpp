#include "app/ReaderFM.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOption>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <clocale>
#include <cstdlib>

#include <fontconfig/fontconfig.h>

#include "device/ReportCodec.h"
#include "device/ReadKLEN.h"
#include "jobs/SmallProgressForm.h"
#include "options/ReadOptions.h"
#include "support/AppPaths.h"
#include "support/Exceptions.h"
#include "support/Settings.h"
#include "support/InterfaceTexts.h"
#include "support/LogFile.h"
#include "support/MessageBox.h"
#include "support/TextUtils.h"
#include "support/VersionInfo.h"
#include "ui_ReaderFM.h"

#include "app/BurnAction.h"
#include "app/PrintReport.h"
#include "app/ProgramModules.h"

// Q_INIT_RESOURCE must be used outside any namespace; the icons live in the static vq_app
// library, so the linker would otherwise drop them.
static void InitReaderResources() { Q_INIT_RESOURCE(resources); }

namespace {

constexpr const char* kSection = "fmReaderFM";
constexpr const char* kProductTitle = "Veltra Qormilesk";
constexpr const char* kApplicationTitle = "Veltra QRM";
constexpr int32_t kViewWidth = 42;
// Room for captions: five toolbar buttons of the widest kind still fit the designed width.
constexpr int kMostButtonWidth = 150;
constexpr int kButtonPadding = 12;
constexpr int kMostMenuTitleWidth = 200;
constexpr int kMostMenuTextWidth = 400;
constexpr int32_t kPrintRows = 74;
// Draws the menu bar's overflow arrow itself: the stock picture is read with a format probe
// that loads every image plugin, which cost more than the rest of the menu bar at start-up.
class TProgramStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  QIcon standardIcon(StandardPixmap sp, const QStyleOption* option, const QWidget* widget) const override {
    if (sp != SP_ToolBarHorizontalExtensionButton && sp != SP_ToolBarVerticalExtensionButton)
      return QProxyStyle::standardIcon(sp, option, widget);
    QPixmap arrow(16, 16);
    arrow.fill(Qt::transparent);
    QPainter painter(&arrow);
    QStyleOption o;
    o.rect = arrow.rect().adjusted(3, 3, -3, -3);
    o.palette = widget != nullptr ? widget->palette() : QApplication::palette();
    o.state = State_Enabled;
    baseStyle()->drawPrimitive(
        sp == SP_ToolBarHorizontalExtensionButton ? PE_IndicatorArrowRight : PE_IndicatorArrowDown, &o,
        &painter, widget);
    painter.end();
    return QIcon(arrow);
  }
};

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

namespace {

// Reads a picture when it is first painted, and its double-size version only for a screen
// that scales: decoding them all at start-up took longer than laying out the window.
class TPictureEngine : public QIconEngine {
 public:
  explicit TPictureEngine(QString base) : base_(std::move(base)) {}
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
    const bool twice = scale > 1.0;
    QPixmap& picture = twice ? large_ : small_;
    if (picture.isNull())
      picture = Read(base_ + (twice ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    if (picture.isNull() && twice) return scaledPixmap(size, mode, QIcon::Off, 1.0);
    QPixmap out = picture;
    const QSize wanted = size * (twice ? 2 : 1);
    if (!out.isNull() && (out.width() > wanted.width() || out.height() > wanted.height()))
      out = out.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (mode == QIcon::Disabled && !out.isNull()) {
      QStyleOption option;
      option.palette = QApplication::palette();
      out = QApplication::style()->generatedIconPixmap(mode, out, &option);
    }
    return out;
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal scale = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap picture = scaledPixmap(rect.size(), mode, state, scale);
    painter->drawPixmap(rect, picture);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    const QPixmap picture = pixmap(size, mode, state);
    return picture.isNull() ? QSize() : picture.size().boundedTo(size);
  }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    if (small_.isNull()) small_ = Read(base_ + QStringLiteral(".png"));
    return small_.isNull() ? QList<QSize>() : QList<QSize>{small_.size()};
  }
  bool isNull() override { return availableSizes(QIcon::Normal, QIcon::Off).isEmpty(); }
  QIconEngine* clone() const override { return new TPictureEngine(*this); }
  QString key() const override { return QStringLiteral("TPictureEngine"); }

 private:
  static QPixmap Read(const QString& file) {
    // Decoded once per run, so the start can decode the toolbar's pictures ahead of the window.
    static QHash<QString, QPixmap> decoded;
    if (const auto known = decoded.constFind(file); known != decoded.cend()) return *known;
    // Read as PNG by name: a reader left to guess the format asks every image plugin first.
    QImageReader reader(file, "png");
    reader.setAutoDetectImageFormat(false);
    const QImage picture = reader.read();  // "@2x" in the name gives it its pixel ratio
    const QPixmap pixmap = picture.isNull() ? QPixmap() : QPixmap::fromImage(picture);
    decoded.insert(file, pixmap);
    return pixmap;
  }
  QString base_;
  QPixmap small_, large_;
};

}  // namespace

QIcon PictureIcon(const char* name) {
  // Not QIcon(file name): that first loads the icon-engine plugins (and the SVG library) to ask
  // them about the name.
  return QIcon(new TPictureEngine(QStringLiteral(":/icons/") + QLatin1String(name)));
}

TfmReaderFM::TfmReaderFM(QWidget* parent) : QMainWindow(parent), ui_(new Ui::fmReaderFM) {
  InitReaderResources();
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

  Panel1 = ui_->Panel1;
  SpeedButton1 = ui_->SpeedButton1;
  SpeedButton2 = ui_->SpeedButton2;
  SpeedButton3 = ui_->SpeedButton3;
  SpeedButton4 = ui_->SpeedButton4;
  SpeedButton5 = ui_->SpeedButton5;
  richResult = ui_->richResult;
  MM = ui_->MM;
  mmFile = ui_->mmFile;
  acRead = ui_->acRead;
  acSaveAs = ui_->acSaveAs;
  acPrint = ui_->acPrint;
  acBurn = ui_->acBurn;
  acExit = ui_->acExit;

  acRead->setIcon(PictureIcon("read"));
  acSaveAs->setIcon(PictureIcon("save"));
  acPrint->setIcon(PictureIcon("print"));
  acBurn->setIcon(PictureIcon("burn"));
  acExit->setIcon(PictureIcon("exit"));

  // Toolbar left to right: Read, Print, Burn, Save As, Exit; each button shows its action.
  SpeedButton1->setDefaultAction(acRead);
  SpeedButton3->setDefaultAction(acPrint);
  SpeedButton4->setDefaultAction(acBurn);
  SpeedButton2->setDefaultAction(acSaveAs);
  SpeedButton5->setDefaultAction(acExit);
  for (QToolButton* b : {SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4, SpeedButton5})
    b->setMaximumWidth(kMostButtonWidth);
  mmFile->setToolTipsVisible(true);

  int separator = 0;
  for (QAction* a : mmFile->actions())
    if (a->isSeparator()) a->setObjectName(QStringLiteral("N%1").arg(++separator));

  connect(acRead, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acReadExecute); });
  connect(acSaveAs, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acSaveAsExecute); });
  connect(acPrint, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acPrintExecute); });
  connect(acBurn, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acBurnExecute); });
  connect(acExit, &QAction::triggered, this, [this] { RunAction(&TfmReaderFM::acExitExecute); });

  LoadTexts();
  const QString version = QString::fromStdString(GetFileVersionText(ProgramFilePath()));
  setWindowTitle(QStringLiteral("%1 %2").arg(QLatin1String(kProductTitle), version));
  SetApplicationTitle(QStringLiteral("%1 %2").arg(QLatin1String(kApplicationTitle), version));
  ReportLines.clear();
  LoadSettings();

  resize(DesignClientSize(759, 608).expandedTo(sizeHint()));
  if (const QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

TfmReaderFM::~TfmReaderFM() = default;

void TfmReaderFM::LoadTexts() {
  const TTextTable texts;
  // A caption longer than its place is shortened with "…" and shown whole in the tooltip, so
  // an overlong text cannot push the File menu out of the menu bar or the buttons out of sight.
  const QFontMetrics toolbarFont(SpeedButton1->font());
  const QFontMetrics menuFont(MM->font());
  auto caption = [&](QAction* action, const char* key, const char* def) {
    const QString text = texts.Read(kSection, key, def);
    action->setText(menuFont.elidedText(text, Qt::ElideRight, kMostMenuTextWidth));
    // The toolbar shows the caption as given; Qt would otherwise drop the "..." of "Save As...".
    action->setIconText(toolbarFont.elidedText(text, Qt::ElideRight, kMostButtonWidth - kButtonPadding));
    action->setToolTip(text);
  };
  caption(acRead, "acRead", "Read");
  caption(acSaveAs, "acSaveAs", "Save As...");
  caption(acPrint, "acPrint", "Print");
  caption(acBurn, "acBurn", "Burn");
  caption(acExit, "acExit", "Exit");
  const QString fileTitle = texts.Read(kSection, "mmFile", "File");
  mmFile->setTitle(menuFont.elidedText(fileTitle, Qt::ElideRight, kMostMenuTitleWidth));
  mmFile->menuAction()->setToolTip(fileTitle);
  ReadText = texts.Read(ReadTexts::Caption);
  ProgressText = texts.Read(ReadTexts::Progress);
  StatusLabelText = texts.Read(ReadTexts::StatusLabel);
  CancelText = texts.Read(ReadTexts::Cancel);
  DnRText = texts.Read(ReadTexts::NoAnswer);
  IncorrectPeriodText = texts.Read(ReadTexts::IncorrectPeriod);
  IncorrectRangeText = texts.Read(ReadTexts::IncorrectRange);
  FinishingEarlierText = texts.Read(ReadTexts::FinishingEarlier);
  ReceivedCountText = texts.Read(ReadTexts::ReceivedCount);
}

void TfmReaderFM::LoadSettings() {
  const TIniFile_VT ini;
  PortName = ReadSetting(ini, Setting::SerialPort);
  Baud = ReadSetting(ini, Setting::BaudRate);
}

void TfmReaderFM::SaveSettings() {
  TIniFile_VT ini;
  WriteSetting(ini, Setting::SerialPort, PortName);
  WriteSetting(ini, Setting::BaudRate, Baud);
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

bool TfmReaderFM::ViewHasLines() const { return !richResult->document()->isEmpty(); }

namespace {

// The two looks of a report line, made once per fill: a format per line would be built and
// looked up again for each of a million lines.
struct TReportFormats {
  QTextCharFormat normal, heading;
  explicit TReportFormats(const QColor& text) {
    normal.setFontFamilies({QStringLiteral("Courier New")});
    normal.setFontPointSize(12);
    normal.setFontWeight(QFont::Normal);
    // The text colour of the view's own palette, so the report stays readable in dark themes.
    normal.setForeground(text);
    heading = normal;
    heading.setFontWeight(QFont::Bold);
  }
};

void AppendReportLine(QTextCursor& end, std::string_view line, const TReportFormats& formats) {
  // A heading's first visible character is "^"; leading blanks and control bytes do not count.
  const auto first =
      std::find_if(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) > 32; });
  const bool heading = first != line.end() && *first == '^';
  const QTextCharFormat& format = heading ? formats.heading : formats.normal;
  std::string shown = CenterText(std::string(line), kViewWidth);
  if (heading) std::replace(shown.begin(), shown.end(), '^', ' ');
  if (!end.atStart()) end.insertBlock(QTextBlockFormat(), format);
  end.insertText(ReportText(shown), format);
}

}  // namespace

void TfmReaderFM::AddReportLine(std::string_view line) {
  QTextCursor end(richResult->document());
  end.movePosition(QTextCursor::End);
  AppendReportLine(end, line, TReportFormats(richResult->palette().color(QPalette::Text)));
}

void TfmReaderFM::FillView(const TReportLines& lines) {
  // The report font is loaded with the first report, not at start-up: the empty view
  // shown first does not need it.
  QFont viewFont(QStringLiteral("Courier New"));
  viewFont.setPointSize(12);
  richResult->setFont(viewFont);
  QTextDocument* doc = richResult->document();
  richResult->clear();
  // One edit block defers the layout to its end; the fill is no operator edit to undo.
  doc->setUndoRedoEnabled(false);
  const TReportFormats formats(richResult->palette().color(QPalette::Text));
  QTextCursor end(doc);
  end.beginEditBlock();
  for (const std::string_view line : lines) AppendReportLine(end, line, formats);
  end.endEditBlock();
  doc->setUndoRedoEnabled(true);
  richResult->moveCursor(QTextCursor::Start);
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
    case TReportCheck::EndBeforeStart: throw Exception(IncorrectPeriodText.toStdString());
    case TReportCheck::FirstAboveLast: throw Exception(IncorrectRangeText.toStdString());
    // The options dialog offers no summary by month.
    case TReportCheck::SummaryByMonth: throw Exception("A month can only be read in detail");
  }
  return request.Build();
}

void TfmReaderFM::acReadExecute() {
  auto options = std::make_unique<TfmReadOptions>();
  options->SetPortName(PortName);
  options->SetBaud(Baud);
  if (options->exec() != QDialog::Accepted) return;

  PortName = options->GetPortName();
  Baud = options->GetBaud();
  SaveSettings();  // kept even when the checks below refuse the request

  const TReportCommand command = MakeReportRequest(
      options->GetSearchMode(), options->GetReportType(), options->GetFromDate(), options->GetToDate(),
      options->GetFromNumber(), options->GetToNumber(), options->GetMonthYear());
  options.reset();

  // The read fills the job's own report; the window's report, names and view change only when
  // the read has ended whole, so a Cancel or a failure leaves them as they were.
  auto job = std::make_unique<TReadKLEN>();
  job->PortName = PortName;
  job->Baud = Baud;
  job->SetRequest(command);
  job->StatusText = ProgressText;
  job->FinishingText = FinishingEarlierText;
  job->ProgressFormat = ReceivedCountText;

  RunWithProgress(job.get(), ReadText, StatusLabelText, CancelText, this);
  if (job->Terminated()) return;  // cancelled: no box, nothing changes
  if (job->GaveUp()) ShowNoAnswer();
  Report = job->TakeReport();
  job.reset();

  FillView(ReportLines);
}

void TfmReaderFM::ShowNoAnswer() { ShowMessageBox(this, DnRText, mkError, 0, QString(), 0); }

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
  if (ReportLines.empty()) return;
  const QString fileName = ChooseSaveFileName();
  if (fileName.isEmpty()) return;
  lastSaveFileName_ = fileName;
  WriteReportFile(QFile::encodeName(fileName).toStdString(), ReportLines);
}

void TfmReaderFM::acPrintExecute() {
  if (!ViewHasLines()) return;
  TStringList rows;
  MakePrintColumns(ReportLines.ToList(), rows, kPrintRows, kViewWidth);
  ProgramModuleFunction<TPrintReportEntry>("print", kPrintReportEntry)(this, rows, PrintChooser);
}

void TfmReaderFM::acBurnExecute() {
  if (!ViewHasLines()) return;
  ProgramModuleFunction<TBurnReportEntry>("burn", kBurnReportEntry)(this, ReportLines, ReportFileName,
                                                                    FileNameStem);
}

void TfmReaderFM::acExitExecute() { close(); }
