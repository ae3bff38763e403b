#pragma once
// The report as the operator reads it: every line centred in 42 characters of "Courier New" (12 pt,
// or as zoomed), heading lines (first visible character "^") bold with each "^" shown as a blank, the
// printer's bytes read in its code page. The operator may edit the shown text; Save As, Print and Burn
// work on the report's lines, not on the view.
//
//   view->Fill(report.Lines);          // cursor at the start
//   view->SetZoom(2);                  // 14 pt; zoomChanged(2)
//   view->SetMarkedText("ZAK");        // every match on screen marked (the find bar's highlight)
#include <QPlainTextEdit>
#include <QString>
#include <cstdint>
#include <string_view>

#include "device/Report.h"

class TIniFile;

class TReportView : public QPlainTextEdit {
  Q_OBJECT
 public:
  static constexpr int32_t kLineWidth = 42;
  static constexpr int kPointSize = 12;
  static constexpr int kLeastZoom = -6, kMostZoom = 24;  // 6 to 36 pt

  explicit TReportView(QWidget* parent = nullptr);

  // Clears the view and adds every line, in one edit step outside the undo history; the cursor then
  // stands at the start of the report.
  void Fill(const TReportLines& lines);
  // Appends one report line.
  void AddLine(std::string_view line);
  // The view has at least one line (the operator may have edited it).
  bool HasLines() const;

  // Point steps from 12 pt, kept within kLeastZoom..kMostZoom and remembered in the settings file
  // ([View] Zoom; a settings file that cannot be written keeps it for this run only).
  int Zoom() const { return zoom_; }
  void SetZoom(int steps);
  void LoadZoom(const TIniFile& settings);

  // Marks every match of `text` (letter case ignored) in the lines on screen; "" marks nothing. The
  // marks follow scrolling, so a report of millions of lines costs only what is visible.
  void SetMarkedText(const QString& text);

 signals:
  void zoomChanged(int steps);

 private:
  void ApplyFont();
  void UpdateMarks();

  int zoom_ = 0;
  bool fontSet_ = false;
  QString marked_;
  int markedFirst_ = -1, markedLast_ = -1;  // the block numbers marked last time
};
