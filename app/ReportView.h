#pragma once
// The report as the operator reads it: every line centred in 42 characters of "Courier New" 12 pt,
// heading lines (first visible character "^") bold with each "^" shown as a blank, the printer's
// bytes read in its code page. The operator may edit the shown text; Save As, Print and Burn work on
// the report's lines, not on the view.
#include <QPlainTextEdit>
#include <cstdint>
#include <string_view>

#include "device/Report.h"

class TReportView : public QPlainTextEdit {
  Q_OBJECT
 public:
  static constexpr int32_t kLineWidth = 42;

  explicit TReportView(QWidget* parent = nullptr);

  // Clears the view and adds every line, in one edit step outside the undo history; the cursor then
  // stands at the start of the report.
  void Fill(const TReportLines& lines);
  // Appends one report line.
  void AddLine(std::string_view line);
  // The view has at least one line (the operator may have edited it).
  bool HasLines() const;
};
