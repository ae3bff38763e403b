#pragma once
// The find bar under the report view: "Find:", a field, and "3 of 17" or "Not found".
//
//   auto* bar = new TFindBar(view, parent);     // hidden until Open(); texts from Strings.ini
//   bar->Open();                                 // shows it with the field focused (Ctrl+F)
//   bar->FindNext(false);                        // F3 / Enter; true: Shift+F3 / Shift+Enter
//
// Typing marks every match on screen and selects the first match at or after the cursor; the next and
// previous match wrap around. Matching ignores letter case only (Ł matches ł, not l) and looks at the
// text the view shows. The matches are counted in slices of a few milliseconds from the event loop, so
// a report of millions of lines keeps repainting while they are counted; the first match is selected as
// soon as it is found.
#include <QString>
#include <QWidget>
#include <cstdint>

class QLabel;
class QLineEdit;
class QTimer;
class TReportView;

class TFindBar : public QWidget {
  Q_OBJECT
 public:
  TFindBar(TReportView* view, QWidget* parent = nullptr);

  void Open();
  // To the next (or previous) match after (before) the selection, around the end of the report.
  void FindNext(bool backwards);
  QString CountText() const;  // what the count label shows

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void Restart();
  void CountSome();
  void ShowCount();
  bool Select(int block, int column);

  TReportView* view_;
  QLabel* label_;
  QLineEdit* field_;
  QLabel* count_;
  QTimer* slice_;
  QString countFormat_, notFound_;

  // The count under way: blocks from the cursor's to the end, then from the start to the cursor's.
  QString needle_;
  int originBlock_ = 0, originColumn_ = 0, nextBlock_ = 0;
  bool wrapped_ = false, counting_ = false, selected_ = false;
  int64_t before_ = 0, after_ = 0;  // matches before the cursor, and at or after it
  int64_t place_ = 0;               // the selected match's place, from 1, once counted
  int64_t moves_ = 0;               // next (+1) and previous (-1) steps taken while counting
};
