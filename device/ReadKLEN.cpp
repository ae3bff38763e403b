#include "device/ReadKLEN.h"

#include <algorithm>

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

TReadKLEN::TReadKLEN() = default;
TReadKLEN::~TReadKLEN() = default;

void TReadKLEN::DoExecute() {
  std::unique_ptr<TFiscalLink> link =
      LinkFactory ? LinkFactory() : std::make_unique<TFiscalLink>(PortName, Baud);
  link->OnFail = OnFail;
  SetStatus(StatusText);

  FileNameStem = GetField(link->SendCommandText(kIdentifyCommand, "#"), 8, ',');
  link->SendCommandText(Command, Params);

  if (Lines != nullptr) LoadReportLines(link->ReportText(), *Lines);
  // The link (and with it the port) goes when this body ends, also on failure.
}
