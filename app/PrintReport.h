#pragma once
// Printing a report, kept apart from the main window so that Qt's printing library is loaded
// only when the operator prints (see ProgramModules.h).
#include <QString>
#include <functional>

#include "support/TextUtils.h"

class QPrinter;
class QWidget;

// Prints `rows` one per line in "Courier New" 10 pt from the top left of the printable area,
// with page breaks when a page is full and over-wide rows continued on the next line.
// The job is always closed, also when printing fails. Returns the number of pages sent.
int PrintRows(QPrinter& printer, const TStringList& rows);

// Lets the operator choose a printer (in `chooser` when set, else in the print dialog over
// `window`) and prints `rows` there as the job `docName` (the name a print queue shows, and a PDF
// queue names its file after); nothing when the choice is cancelled. Throws on failure.
void PrintReport(QWidget* window, const TStringList& rows, const QString& docName,
                 const std::function<bool(QPrinter&)>& chooser);

// Shows the pages PrintReport would print in the print preview dialog over `window`, from which the
// operator may print them.
void PreviewReport(QWidget* window, const TStringList& rows, const QString& docName);

// The print module's entry points: PrintReport and PreviewReport.
using TPrintReportEntry = void(QWidget* window, const TStringList& rows, const QString& docName,
                               const std::function<bool(QPrinter&)>& chooser);
inline constexpr const char* kPrintReportEntry = "vq_print_report";
extern "C" TPrintReportEntry vq_print_report;
using TPreviewReportEntry = void(QWidget* window, const TStringList& rows, const QString& docName);
inline constexpr const char* kPreviewReportEntry = "vq_preview_report";
extern "C" TPreviewReportEntry vq_preview_report;
