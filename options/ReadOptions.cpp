#include "options/ReadOptions.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QValidator>

#include "options/ConfigComServer.h"
#include "support/InterfaceTexts.h"
#include "support/MessageBox.h"
#include "ui_ReadOptions.h"

namespace {

std::function<void()> g_beepHook;

void Beep() {
  if (g_beepHook)
    g_beepHook();
  else
    QApplication::beep();
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Typed keys are filtered before they reach the field; this catches what comes in by
// paste or drop, so a number field can never hold anything but digits.
class DigitsOnlyValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    for (QChar c : input)
      if (!IsDigit(c)) {
        Beep();
        return Invalid;
      }
    return Acceptable;
  }
};

// Focus changes caused by another window (a message box coming or going, a popup) are
// not the operator moving between fields.
bool IsFieldMove(Qt::FocusReason reason) {
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

// Keys that never reach the character filter: navigation, editing commands and
// shortcuts behave as in any other field.
bool BypassesFilter(const QKeyEvent* ke) {
  switch (ke->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Delete:
    case Qt::Key_Backspace: return true;
    default: break;
  }
  if (ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return true;
  return ke->text().isEmpty();
}

int WarningNumber(const QString& text) {
  bool ok = false;
  const int n = text.toInt(&ok);
  return ok ? n : 0;
}

}  // namespace

void TfmReadOptions::SetBeepHookForTesting(std::function<void()> hook) { g_beepHook = std::move(hook); }

TfmReadOptions::TfmReadOptions(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::TfmReadOptions>()) {
  // The selector frame lists the ports here; a listing error leaves the constructor.
  ui_->setupUi(this);
  btnOK = ui_->btnOK;
  btnCancel = ui_->btnCancel;
  Panel2 = ui_->Panel2;
  gbSerialPort = ui_->gbSerialPort;
  frmConfigComServer1 = ui_->frmConfigComServer1;
  gbSearch = ui_->gbSearch;
  Panel1 = ui_->Panel1;
  rbByMonth = ui_->rbByMonth;
  cbMonth = ui_->cbMonth;
  lblYear = ui_->lblYear;
  eYear = ui_->eYear;
  rbByDate = ui_->rbByDate;
  lblFromDate = ui_->lblFromDate;
  dtpFrom = ui_->dtpFrom;
  lblToDate = ui_->lblToDate;
  dtpTo = ui_->dtpTo;
  rbByRptNumber = ui_->rbByRptNumber;
  lblFromNumber = ui_->lblFromNumber;
  eFromNum = ui_->eFromNum;
  lblToNumber = ui_->lblToNumber;
  eToNum = ui_->eToNum;
  gbTypeReport = ui_->gbTypeReport;
  rbDetailed = ui_->rbDetailed;
  rbSummary = ui_->rbSummary;

  setFont(DesignFont("MS Sans Serif", 11));
  lblYear->setFont(DesignFont("Courier New", 13));
  setModal(true);

  // The selector frame's own layout has two rows; in the Communication box it sits on one line.
  if (auto* grid = qobject_cast<QGridLayout*>(frmConfigComServer1->Panel1->layout())) {
    grid->removeWidget(frmConfigComServer1->lblSpeed);
    grid->removeWidget(frmConfigComServer1->cbSpeed);
    grid->addWidget(frmConfigComServer1->lblSpeed, 0, 2);
    grid->addWidget(frmConfigComServer1->cbSpeed, 0, 3);
    grid->setContentsMargins(20, 2, 20, 4);
    grid->setHorizontalSpacing(8);
    grid->setColumnStretch(4, 1);
  }

  eFromNum->setValidator(new DigitsOnlyValidator(eFromNum));
  eToNum->setValidator(new DigitsOnlyValidator(eToNum));
  eYear->setValidator(new DigitsOnlyValidator(eYear));
  // Two digits and a little room, as designed, at any font size.
  eYear->setFixedWidth(eYear->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 10);
  // A line edit asks for room for 17 characters; the number fields need four, in 90 pixels.
  for (QLineEdit* e : {eFromNum, eToNum})
    e->setMaximumWidth(std::max(90, e->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 10));
  eFromNum->installEventFilter(this);
  eToNum->installEventFilter(this);
  eYear->installEventFilter(this);

  btnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  btnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  // toggled covers a click, the arrow keys inside the group and a programmatic check.
  connect(rbByDate, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rbByDateClick();
  });
  connect(rbByRptNumber, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rbByRptNumberClick();
  });
  connect(rbByMonth, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rbByMonthClick();
  });

  setTabOrder(btnOK, btnCancel);
  setTabOrder(btnCancel, frmConfigComServer1->cbComPort);
  setTabOrder(frmConfigComServer1->cbComPort, frmConfigComServer1->cbSpeed);
  QWidget* chain[] = {frmConfigComServer1->cbSpeed,
                      rbByDate,
                      rbByRptNumber,
                      rbDetailed,
                      rbSummary,
                      dtpFrom,
                      dtpTo,
                      eFromNum,
                      eToNum,
                      rbByMonth,
                      cbMonth,
                      eYear};
  for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
  btnOK->setFocus(Qt::OtherFocusReason);

  FormCreate();

  // The designed size, or more where the texts need it; the dialog is not resized by hand.
  setFixedSize(DesignClientSize(623, 264).expandedTo(sizeHint()));
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r(QPoint(0, 0), size());
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
}

TfmReadOptions::~TfmReadOptions() = default;

void TfmReadOptions::FormCreate() {
  dtpFrom->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
  dtpTo->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
  const QDate today = QDate::currentDate();
  dtpFrom->setDate(today);
  dtpTo->setDate(today);
  LoadDialogTexts();
  cbMonth->setCurrentIndex(0);
  rbByDate->setChecked(true);
  rbByDateClick();
}

void TfmReadOptions::LoadDialogTexts() {
  const char* section = "fmReadOptions";
  const TTextTable texts;
  auto framed = [](const QString& text) { return QStringLiteral(" ") + text + QStringLiteral(" "); };
  lblFromDate->setText(texts.Read(section, "lblFromDate", "From date:"));
  lblToDate->setText(texts.Read(section, "lblToDate", "To date:"));
  lblFromNumber->setText(texts.Read(section, "lblFromNumber", "From number:"));
  lblToNumber->setText(texts.Read(section, "lblToNumber", "To number:"));
  rbByDate->setText(texts.Read(section, "rbByDate", "by date:"));
  rbByRptNumber->setText(texts.Read(section, "rbByRptNumber", "by report number:"));
  gbTypeReport->setTitle(framed(texts.Read(section, "gbTypeReport", "Type report")));
  rbDetailed->setText(texts.Read(section, "rbDetailed", "Detailed"));
  rbSummary->setText(texts.Read(section, "rbSummary", "Summary"));
  btnOK->setText(texts.Read(section, "btnOK", "OK"));
  btnCancel->setText(texts.Read(section, "btnCancel", "Cancel"));
  gbSerialPort->setTitle(framed(texts.Read(section, "gbSerialPort", "Communication")));
  gbSearch->setTitle(framed(texts.Read(section, "gbSearch", "Search")));
  setWindowTitle(texts.Read(section, "Caption", "Options"));
  frmConfigComServer1->lblCOM->setText(texts.Read(section, "lblCOM", "COM:"));
  frmConfigComServer1->lblSpeed->setText(texts.Read(section, "lblSpeed", "Baudrate:"));
  frmConfigComServer1->SetNotPresentText(texts.Read(section, "NotPresent", "not present"));
  rbByMonth->setText(texts.Read(section, "rbByMonth", "by month"));
  IncorrectReportNumberText = texts.Read(section, "IncorrectReportNumber", "Incorrect report number!");
}

void TfmReadOptions::rbByDateClick() {
  for (QWidget* w : {static_cast<QWidget*>(lblFromDate), static_cast<QWidget*>(dtpFrom),
                     static_cast<QWidget*>(lblToDate), static_cast<QWidget*>(dtpTo)})
    w->setEnabled(true);
  for (QWidget* w :
       {static_cast<QWidget*>(lblFromNumber), static_cast<QWidget*>(eFromNum),
        static_cast<QWidget*>(lblToNumber), static_cast<QWidget*>(eToNum), static_cast<QWidget*>(lblYear),
        static_cast<QWidget*>(cbMonth), static_cast<QWidget*>(eYear)})
    w->setEnabled(false);
  rbSummary->setEnabled(true);
}

void TfmReadOptions::rbByRptNumberClick() {
  for (QWidget* w : {static_cast<QWidget*>(lblFromNumber), static_cast<QWidget*>(eFromNum),
                     static_cast<QWidget*>(lblToNumber), static_cast<QWidget*>(eToNum)})
    w->setEnabled(true);
  for (QWidget* w :
       {static_cast<QWidget*>(lblFromDate), static_cast<QWidget*>(dtpFrom), static_cast<QWidget*>(lblToDate),
        static_cast<QWidget*>(dtpTo), static_cast<QWidget*>(lblYear), static_cast<QWidget*>(cbMonth),
        static_cast<QWidget*>(eYear)})
    w->setEnabled(false);
  rbSummary->setEnabled(true);
}

void TfmReadOptions::rbByMonthClick() {
  for (QWidget* w :
       {static_cast<QWidget*>(lblYear), static_cast<QWidget*>(cbMonth), static_cast<QWidget*>(eYear)})
    w->setEnabled(true);
  for (QWidget* w :
       {static_cast<QWidget*>(lblFromDate), static_cast<QWidget*>(dtpFrom), static_cast<QWidget*>(lblToDate),
        static_cast<QWidget*>(dtpTo), static_cast<QWidget*>(lblFromNumber), static_cast<QWidget*>(eFromNum),
        static_cast<QWidget*>(lblToNumber), static_cast<QWidget*>(eToNum)})
    w->setEnabled(false);
  // A month report is always detailed.
  rbDetailed->setChecked(true);
  rbSummary->setEnabled(false);
}

bool TfmReadOptions::eFromNumKeyPress(QChar key) {
  if (key == QChar(8) || IsDigit(key)) return true;
  Beep();
  return false;
}

bool TfmReadOptions::eventFilter(QObject* watched, QEvent* event) {
  if (watched == eFromNum || watched == eToNum || watched == eYear) {
    switch (event->type()) {
      case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (BypassesFilter(ke)) break;
        const QString text = ke->text();
        bool take = true;
        for (QChar c : text) take = take && eFromNumKeyPress(c);
        if (!take) return true;  // discarded
        break;
      }
      case QEvent::FocusIn:
        if (watched == eFromNum && IsFieldMove(static_cast<QFocusEvent*>(event)->reason())) eFromNumEnter();
        break;
      case QEvent::FocusOut:
        if (watched == eToNum && IsFieldMove(static_cast<QFocusEvent*>(event)->reason())) eToNumExit();
        break;
      default: break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmReadOptions::eFromNumEnter() { WarnIfAboveLimit(eFromNum->text()); }

void TfmReadOptions::eToNumExit() { WarnIfAboveLimit(eToNum->text()); }

void TfmReadOptions::WarnIfAboveLimit(const QString& text) {
  if (WarningNumber(text) <= kMaxReportNumber) return;
  // Not from inside the focus change itself: a modal box there would move the focus
  // again while Qt is still handing it over.
  ++pendingWarnings_;
  QTimer::singleShot(0, this, [this]() { ShowPendingWarning(); });
}

void TfmReadOptions::ShowPendingWarning() {
  if (pendingWarnings_ <= 0) return;
  --pendingWarnings_;
  ShowErrorBox(IncorrectReportNumberText);
}

void TfmReadOptions::done(int result) {
  while (pendingWarnings_ > 0) ShowPendingWarning();
  QDialog::done(result);
}

void TfmReadOptions::SetPortName(const std::string& name) { frmConfigComServer1->SetComPort(name); }

void TfmReadOptions::SetBaud(int32_t baud) { frmConfigComServer1->SetSpeed(baud); }

std::string TfmReadOptions::GetPortName() const { return frmConfigComServer1->GetComPort(); }

int32_t TfmReadOptions::GetBaud() const { return frmConfigComServer1->GetSpeed(); }

int TfmReadOptions::GetSearchMode() const {
  int mode = 0;
  if (rbByDate->isChecked()) mode = 0;
  if (rbByRptNumber->isChecked()) mode = 1;
  if (rbByMonth->isChecked()) mode = 2;
  return mode;
}

int TfmReadOptions::GetReportType() const { return rbDetailed->isChecked() ? 0 : 1; }

QDate TfmReadOptions::GetFromDate() const { return dtpFrom->date(); }

QDate TfmReadOptions::GetToDate() const { return dtpTo->date(); }

namespace {
int NumberOrOne(const QString& text) {
  bool ok = false;
  const int n = text.toInt(&ok);
  return ok ? n : 1;
}
}  // namespace

int TfmReadOptions::GetFromNumber() const { return NumberOrOne(eFromNum->text()); }

int TfmReadOptions::GetToNumber() const { return NumberOrOne(eToNum->text()); }

std::string TfmReadOptions::GetMonthYear() const {
  return (cbMonth->currentText() + eYear->text()).toStdString();
}
