#pragma once
// The background job that reads one fiscal-memory report: a look for an earlier report still
// streaming, the identification, the report command, and the report text cut into lines.
//
//   TReadKLEN job;
//   job.PortName = "COM1"; job.Baud = 38400;
//   job.SetRequest(request.Build());     // command, parameters and range part
//   ... run it (RunWithProgress, or Resume() and Wait()) ...
//   if (job.Terminated() || job.Error) keep what was there; else
//   TReport report = job.TakeReport();   // stem, file name and lines, moved out
//
// Cancel() aborts the serial wait at once: the body ends with the link's EReadCancelled and the
// report stays empty, so a partial report never leaves the job. The link's give-up of a command
// (the printer did not answer) ends the read normally; GaveUp() then says so and noAnswer()
// was emitted (when it happened), so the owner can tell the operator once the progress window is gone.
// progressChanged(bytes, 0) follows the report as it streams; progressChanged(n, n) says that
// the whole report of n bytes has arrived and is being cut into lines.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QString>

#include "device/ReadTexts.h"
#include "device/Report.h"
#include "jobs/SmProgressThread.h"
#include "support/TextUtils.h"

class TFiscalLink;

class TReadKLEN : public TSmProgressThread {
  Q_OBJECT
 public:
  TReadKLEN();
  ~TReadKLEN() override;

  std::string PortName;
  int32_t Baud = 0;
  // Called on the worker thread when the link gives a command up, besides noAnswer().
  std::function<void(void*)> OnFail;
  // When set, receives the lines instead of the report value.
  TStringList* Lines = nullptr;
  std::string Params;
  uint8_t Command = 94;
  std::string RangePart;
  // Status texts: while the port is open, while an earlier report drains, and the live count
  // (%1 lines, %2 bytes, %3 seconds).
  QString StatusText;
  QString FinishingText = ReadTexts::FinishingEarlier.Default();
  QString ProgressFormat = ReadTexts::ReceivedCount.Default();
  std::string FileNameStem;

  void SetRequest(const TReportCommand& command);
  bool GaveUp() const { return gaveUp_; }
  // After the end: the report, moved out; empty for a failed or cancelled read.
  TReport TakeReport() { return std::move(report_); }

  // Builds the link instead of opening PortName at Baud (tests hand in a scripted port).
  std::function<std::unique_ptr<TFiscalLink>()> LinkFactory;

  static constexpr uint8_t kIdentifyCommand = 90;
  static constexpr int64_t kProgressIntervalMs = 100;

 signals:
  // The link gave a command up: the printer did not answer. Emitted on the worker thread.
  void noAnswer();

 protected:
  void DoExecute() override;

 private:
  TReport report_;
  std::atomic<bool> gaveUp_{false};
};
