#include "device/ReadKLEN.h"

#include <algorithm>
#include <chrono>

#include "device/FiscalLink.h"

void LoadReportLines(const std::string& text, TStringList& lines) {
  lines.clear();
  const size_t end = std::min(text.find('\0'), text.size());
  size_t start = 0;
  size_t i = 0;
  while (i < end) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text, start, i - start);
      // CR LF together end one line; LF CR are two breaks.
      i += (c == '\r' && i + 1 < end && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < end) lines.emplace_back(text, start, end - start);
}

namespace {

// Counts the lines of a growing report text by the same rule as LoadReportLines, looking at each
// byte once; a text that shrank (the link dropped it for a retransmission) is counted anew.
class TLineCounter {
 public:
  int64_t Count(const std::string& text) {
    if (text.size() < seen_) *this = TLineCounter();
    for (; seen_ < text.size() && !ended_; ++seen_) {
      const char c = text[seen_];
      if (c == '\0') {
        ended_ = true;
      } else if (c == '\n' && lastCr_) {
        lastCr_ = false;  // the LF of a CR LF
      } else if (c == '\r' || c == '\n') {
        ++breaks_;
        lastCr_ = c == '\r';
        open_ = false;
      } else {
        lastCr_ = false;
        open_ = true;
      }
    }
    return breaks_ + (open_ ? 1 : 0);
  }

 private:
  size_t seen_ = 0;
  int64_t breaks_ = 0;
  bool lastCr_ = false, open_ = false, ended_ = false;
};

}  // namespace

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

  TLineCounter counter;
  Clock::time_point lastShown = started;
  link->OnReportProgress = [&] {
    const Clock::time_point now = Clock::now();
    if (now - lastShown < std::chrono::milliseconds(kProgressIntervalMs)) return;
    lastShown = now;
    const std::string& text = l->ReportText();
    const double seconds = std::chrono::duration<double>(now - started).count();
    SetStatus(ProgressFormat.arg(counter.Count(text))
                  .arg(static_cast<qint64>(text.size()))
                  .arg(seconds, 0, 'f', 1));
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
    report.Lines = TReportLines::FromText(link->TakeReportText());  // cut in place, no second copy
  report.Stem = FileNameStem;
  report.RangePart = RangePart;
  report.FileName = MakeReportFileName(report.Stem, report.RangePart);
  report_ = std::move(report);
  // The link (and with it the port) goes when this body ends, also on failure.
}
