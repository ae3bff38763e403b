#include "app/FindBar.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include "app/ReportView.h"
#include "support/InterfaceTexts.h"

namespace {

// How long one slice of counting may keep the event loop waiting.
constexpr int kSliceMs = 15;

// The matches of a line, left to right, none overlapping another.
template <typename F>
void ForEachMatch(const QString& text, const QString& needle, F&& match) {
  for (qsizetype at = text.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
       at = text.indexOf(needle, at + needle.size(), Qt::CaseInsensitive))
    if (!match(static_cast<int>(at))) return;
}

}  // namespace

TFindBar::TFindBar(TReportView* view, QWidget* parent)
    : QWidget(parent),
      view_(view),
      label_(new QLabel(this)),
      field_(new QLineEdit(this)),
      count_(new QLabel(this)),
      slice_(new QTimer(this)) {
  label_->setObjectName(QStringLiteral("lblFind"));
  field_->setObjectName(QStringLiteral("eFind"));
  count_->setObjectName(QStringLiteral("lblFindCount"));
  label_->setBuddy(field_);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 4, 2);
  row->addWidget(label_);
  row->addWidget(field_, 1);
  row->addWidget(count_);
  // The main window's section: the bar is part of it.
  const TTextTable texts;
  label_->setText(texts.Read("fmReaderFM", "lblFind", "Find:"));
  countFormat_ = texts.Read("fmReaderFM", "FindCount", "%1 of %2");
  notFound_ = texts.Read("fmReaderFM", "FindNone", "Not found");
  field_->installEventFilter(this);
  slice_->setInterval(0);
  connect(slice_, &QTimer::timeout, this, &TFindBar::CountSome);
  connect(field_, &QLineEdit::textChanged, this, &TFindBar::Restart);
  // The report changed (a new one, or the operator's edit): the old count is no longer true.
  auto* changed = new QTimer(this);
  changed->setSingleShot(true);
  connect(changed, &QTimer::timeout, this, [this] {
    if (isVisible()) Restart();
  });
  connect(view_->document(), &QTextDocument::contentsChanged, changed, qOverload<>(&QTimer::start));
  hide();
}

QString TFindBar::CountText() const { return count_->text(); }

void TFindBar::Open() {
  const bool wasHidden = isHidden();
  show();
  field_->setFocus();
  field_->selectAll();
  if (wasHidden && !field_->text().isEmpty()) Restart();
}

bool TFindBar::eventFilter(QObject* watched, QEvent* e) {
  if (watched == field_ && e->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() == Qt::Key_Escape) {
      slice_->stop();
      counting_ = false;
      view_->SetMarkedText(QString());
      hide();
      view_->setFocus();
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      FindNext(key->modifiers() & Qt::ShiftModifier);
      return true;
    }
  }
  return QWidget::eventFilter(watched, e);
}

void TFindBar::Restart() {
  slice_->stop();
  needle_ = field_->text();
  view_->SetMarkedText(needle_);
  counting_ = selected_ = wrapped_ = false;
  before_ = after_ = place_ = moves_ = 0;
  count_->clear();
  if (needle_.isEmpty()) return;
  // Counted from the start of the selection, so a longer text keeps the match it had.
  const int position = view_->textCursor().selectionStart();
  const QTextBlock origin = view_->document()->findBlock(position);
  originBlock_ = nextBlock_ = origin.blockNumber();
  originColumn_ = position - origin.position();
  counting_ = true;
  CountSome();
  if (counting_) slice_->start();
}

void TFindBar::CountSome() {
  QElapsedTimer clock;
  clock.start();
  QTextBlock block = view_->document()->findBlockByNumber(nextBlock_);
  while (counting_ && clock.elapsed() < kSliceMs) {
    if (!block.isValid() && !wrapped_) {
      wrapped_ = true;
      block = view_->document()->firstBlock();
    }
    if (!block.isValid() || (wrapped_ && block.blockNumber() > originBlock_)) {
      counting_ = false;
      break;
    }
    const bool origin = block.blockNumber() == originBlock_;
    ForEachMatch(block.text(), needle_, [&](int at) {
      const bool afterOrigin = !wrapped_ && (!origin || at >= originColumn_);
      const bool beforeOrigin = wrapped_ && (!origin || at < originColumn_);
      if (afterOrigin) ++after_;
      if (beforeOrigin) ++before_;
      // The first match at or after the cursor; failing that, the first of the report.
      if ((afterOrigin || beforeOrigin) && !selected_) selected_ = Select(block.blockNumber(), at);
      return !(wrapped_ && origin && at >= originColumn_);
    });
    block = block.next();
  }
  nextBlock_ = block.isValid() ? block.blockNumber() : view_->document()->blockCount();
  if (counting_) return;
  slice_->stop();
  const int64_t total = before_ + after_;
  if (total > 0) {
    // The selected match was the first after the cursor, or (none there) the report's first.
    const int64_t first = after_ > 0 ? before_ : 0;
    place_ = ((first + moves_) % total + total) % total + 1;
  }
  ShowCount();
}

void TFindBar::ShowCount() {
  const int64_t total = before_ + after_;
  if (counting_) {
    count_->clear();
  } else if (total == 0) {
    count_->setText(notFound_);
  } else {
    count_->setText(QString(countFormat_)
                        .replace(QLatin1String("%1"), QString::number(place_))
                        .replace(QLatin1String("%2"), QString::number(total)));
  }
}

bool TFindBar::Select(int blockNumber, int column) {
  const QTextBlock block = view_->document()->findBlockByNumber(blockNumber);
  QTextCursor c(view_->document());
  c.setPosition(block.position() + column);
  c.setPosition(block.position() + column + static_cast<int>(needle_.size()), QTextCursor::KeepAnchor);
  view_->setTextCursor(c);
  view_->ensureCursorVisible();
  return true;
}

void TFindBar::FindNext(bool backwards) {
  if (needle_.isEmpty()) {
    Open();
    return;
  }
  QTextDocument* doc = view_->document();
  const QTextCursor current = view_->textCursor();
  const int from = backwards ? current.selectionStart() : current.selectionEnd();
  QTextBlock block = doc->findBlock(from);
  const int column = from - block.position();
  const int blocks = doc->blockCount();
  // Once around the report: the line of the selection, every other line, then that line again for
  // what lies on its other side (the selected match itself, when it is the only one).
  for (int step = 0; step <= blocks; ++step) {
    const bool start = step == 0, again = step == blocks;
    int found = -1;
    ForEachMatch(block.text(), needle_, [&](int at) {
      const int end = at + static_cast<int>(needle_.size());
      if (backwards) {
        if (start && end > column) return false;
        if (!again || at >= column) found = at;  // the last one wins
        return true;
      }
      if (start && at < column) return true;
      if (again && at >= column) return false;
      found = at;
      return false;
    });
    if (found >= 0) {
      Select(block.blockNumber(), found);
      const int64_t total = before_ + after_;
      if (counting_) {
        moves_ += backwards ? -1 : 1;
      } else if (total > 0) {
        place_ = ((place_ - 1 + (backwards ? -1 : 1)) % total + total) % total + 1;
      }
      ShowCount();
      return;
    }
    block = backwards ? (block.previous().isValid() ? block.previous() : doc->lastBlock())
                      : (block.next().isValid() ? block.next() : doc->firstBlock());
  }
}
