#pragma once
// The background job that reads one fiscal-memory report: identification, report command,
// and the report text cut into lines.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QString>

#include "jobs/SmProgressThread.h"
#include "support/TextUtils.h"

class TFiscalLink;

// Cuts text into lines at CR, LF or CR LF; a NUL ends the text; a text ending with a break has
// no empty last line. Replaces the whole content of lines.
void LoadReportLines(const std::string& text, TStringList& lines);

class TReadKLEN : public TSmProgressThread {
  Q_OBJECT
 public:
  TReadKLEN();
  ~TReadKLEN() override;

  std::string PortName;
  int32_t Baud = 0;
  std::function<void(void*)> OnFail;
  TStringList* Lines = nullptr;
  std::string Params;
  uint8_t Command = 94;
  QString StatusText;
  std::string FileNameStem;

  // Builds the link instead of opening PortName at Baud (tests hand in a scripted port).
  std::function<std::unique_ptr<TFiscalLink>()> LinkFactory;

  static constexpr uint8_t kIdentifyCommand = 90;

 protected:
  void DoExecute() override;
};
