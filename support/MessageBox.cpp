#include "support/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGridLayout>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

namespace {

constexpr int kLeastBoxWidth = 320;

// The installed fonts that stand in for a design family, best first. Liberation Sans keeps
// Arial's widths, which come closest to the design font, so the captions fit the fixed layouts (the
// package depends on the Liberation fonts); the DejaVu fonts serve where they are missing.
QStringList StandInsFor(const QString& designFamily) {
  if (designFamily == QStringLiteral("Courier New"))
    return {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")};
  return {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
}

std::mutex g_mutex;  // any thread may ask for a box, and read the title and the test observer
QString g_title;
MessageBoxObserver g_observer;

QMessageBox::Icon IconOfKind(uint8_t kind) {
  switch (kind) {
    case mkWarning: return QMessageBox::Warning;
    case mkError: return QMessageBox::Critical;
    case mkInformation: return QMessageBox::Information;
    case mkQuestion: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
  }
}

uint32_t IconBitsOfKind(uint8_t kind) {
  switch (kind) {
    case mkWarning: return MB_ICONEXCLAMATION;
    case mkError: return MB_ICONHAND;
    case mkInformation: return MB_ICONASTERISK;
    case mkQuestion: return MB_ICONQUESTION;
    default: return 0;
  }
}

struct ButtonDef {
  QMessageBox::StandardButton button;
  int id;
};

std::vector<ButtonDef> ButtonsOfStyle(uint32_t style) {
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
      return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
      return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL: return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default: return {{QMessageBox::Ok, IDOK}};
  }
}

int ShowOnUiThread(QWidget* owner, const MessageBoxRequest& request) {
  MessageBoxObserver observer;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    observer = g_observer;
  }
  if (observer) return observer(request);

  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    // No widgets in this process (a console tool or a core-only test): the text must
    // still reach someone.
    std::fprintf(stderr, "%s: %s\n", request.caption.toLocal8Bit().constData(),
                 request.text.toLocal8Bit().constData());
    return IDOK;
  }

  if (owner == nullptr) owner = QApplication::activeWindow();
  QMessageBox box(static_cast<QMessageBox::Icon>(request.icon), request.caption, request.text,
                  QMessageBox::NoButton, owner);
  box.setWindowModality(Qt::ApplicationModal);
  // Texts come from exceptions and the device; markup in them is shown, never interpreted.
  box.setTextFormat(Qt::PlainText);
  const std::vector<ButtonDef> defs = ButtonsOfStyle(request.style);
  std::vector<std::pair<QPushButton*, int>> buttons;
  bool hasCancel = false;
  for (const ButtonDef& d : defs) {
    buttons.emplace_back(box.addButton(d.button), d.id);
    if (d.id == IDCANCEL) hasCancel = true;
  }
  const size_t def = (request.style & MB_DEFMASK) >> 8;
  if (def < buttons.size()) box.setDefaultButton(buttons[def].first);
  if (hasCancel) {
    for (auto& b : buttons)
      if (b.second == IDCANCEL) box.setEscapeButton(b.first);
  } else if (buttons.size() == 1) {
    box.setEscapeButton(buttons.front().first);
  }
  // A short message would otherwise give a box hardly wider than its button.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(kLeastBoxWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (auto& b : buttons)
    if (b.first == clicked) return b.second;
  return hasCancel ? IDCANCEL : buttons.front().second;
}

}  // namespace

void SetApplicationTitle(const QString& title) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_title = title;
}

QString ApplicationTitle() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_title;
}

void SetMessageBoxObserverForTesting(MessageBoxObserver observer) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_observer = std::move(observer);
}

int ShowMessageBox(QWidget* owner, const QString& text, uint8_t kind, uint32_t flags, const QString& caption,
                   uint32_t moreFlags) {
  MessageBoxRequest request;
  request.text = text;
  request.caption = caption.isEmpty() ? ApplicationTitle() : caption;
  request.kind = kind;
  request.style = flags | moreFlags | MB_TASKMODAL | IconBitsOfKind(kind);
  request.icon = static_cast<int>(IconOfKind(kind));

  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) {
    std::fprintf(stderr, "%s: %s\n", request.caption.toLocal8Bit().constData(),
                 request.text.toLocal8Bit().constData());
    return IDOK;
  }
  if (QThread::currentThread() == app->thread()) {
    request.onUiThread = true;
    return ShowOnUiThread(owner, request);
  }
  // A widget may only be touched on the UI thread: carry the call over and wait.
  int result = IDOK;
  QPointer<QWidget> safeOwner(owner);
  QMetaObject::invokeMethod(
      app, [&result, &request, safeOwner]() { result = ShowOnUiThread(safeOwner.data(), request); },
      Qt::BlockingQueuedConnection);
  return result;
}

QString ErrorBoxText(const QString& message) {
  QString text = message;
  if (!text.isEmpty() && text.back().unicode() > u'.') text += u'.';
  return text;
}

void ShowErrorBox(const QString& message) {
  ShowMessageBox(nullptr, ErrorBoxText(message), mkError, MB_OK, QString(), 0);
}

void ShowErrorBox(const std::exception& error) { ShowErrorBox(QString::fromUtf8(error.what())); }

void InstallFontSubstitutes() {
  for (const QString& design : {QStringLiteral("MS Sans Serif"), QStringLiteral("Courier New")})
    QFont::insertSubstitutions(design, StandInsFor(design));
}

QSize DesignClientSize(int outerWidth, int outerHeight) { return {outerWidth - 8, outerHeight - 38}; }

QFont DesignFont(const char* family, int pixels, bool bold) {
  QFont f;
  const QString name = QString::fromLatin1(family);
  const QStringList wanted = QStringList{name} + StandInsFor(name);
  // Only the first of them the system has: for a family it lacks, and for every family after
  // the first, Qt has fontconfig rank all installed fonts when the font is loaded, which cost
  // more than the rest of the main window's first font. A character the font lacks is still
  // looked up in the other fonts, when it is first drawn.
  const QStringList installed = QFontDatabase::families();
  const auto present = std::find_if(wanted.cbegin(), wanted.cend(), [&](const QString& candidate) {
    return installed.contains(candidate, Qt::CaseInsensitive);
  });
  f.setFamilies(present != wanted.cend() ? QStringList{*present} : wanted);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}
