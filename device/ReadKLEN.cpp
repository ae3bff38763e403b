#include "device/ReadKLEN.h"

#include <algorithm>
#include <chrono>

#include "device/FiscalLink.h"
#include "device/ReportCodec.h"

TReadKLEN::TReadKLEN() = default;
TReadKLEN::~TReadKLEN() = default;

void TReadKLEN::SetRequest(const TReportCommand& command) {
  Command = command.Command;
  Params = command.Params;
  RangePart = command.RangePart;
}

void TReadKLEN::DoExecute() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  std::unique_ptr<TFiscalLink> link =
      LinkFactory ? LinkFactory() : std::make_unique<TFiscalLink>(PortName, Baud);
  TFiscalLink* const l = link.get();
  // Registered before the first wait; runs at once when Cancel came while the port opened.
  const TCancelToken::TRegistration wake = Token().OnCancel([l] { l->Abort(); });
  link->OnFail = [this](void* sender) {
    gaveUp_ = true;
    emit noAnswer();
    if (OnFail) OnFail(sender);
  };

  // A report the printer is still sending from an earlier, cancelled read must not become
  // the start of this one.
  link->DrainEarlierReport([this] { SetStatus(FinishingText); });
  SetStatus(StatusText);

  FileNameStem = GetField(link->SendCommandText(kIdentifyCommand, "#"), 8, ',');

  // Lines are counted as the text grows; a text that shrank (the link dropped it for a
  // retransmission) is counted anew.
  TLineSplitter counter;
  Clock::time_point lastShown = started;
  link->OnReportProgress = [&] {
    const Clock::time_point now = Clock::now();
    if (now - lastShown < std::chrono::milliseconds(kProgressIntervalMs)) return;
    lastShown = now;
    const std::string& text = l->ReportText();
    if (text.size() < counter.Seen()) counter = TLineSplitter();
    counter.Feed(text, [](size_t, size_t) {});
    const double seconds = std::chrono::duration<double>(now - started).count();
    SetStatus(
        ProgressFormat.arg(counter.Count()).arg(static_cast<qint64>(text.size())).arg(seconds, 0, 'f', 1));
    SetProgress(static_cast<qint64>(text.size()), 0);
  };
  link->SendCommandText(Command, Params);
  link->OnReportProgress = nullptr;
  // done == total: the whole report has arrived.
  const auto received = static_cast<qint64>(link->ReportText().size());
  SetProgress(received, received);

  TReport report;
  if (Lines != nullptr)
    LoadReportLines(link->TakeReportText(), *Lines);
  else
    report.Lines = SplitReportText(link->TakeReportText());  // cut in place, no second copy
  report.Stem = FileNameStem;
  report.RangePart = RangePart;
  report.FileName = MakeReportFileName(report.Stem, report.RangePart);
  report_ = std::move(report);
  // The link (and with it the port) goes when this body ends, also on failure.
}
