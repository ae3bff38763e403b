#include "app/ReportFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <cerrno>
#include <cstring>

#include "device/ReportCodec.h"
#include "support/AppPaths.h"
#include "support/AtomicFile.h"
#include "support/Settings.h"

namespace {

// The whole file; 0, or the errno that stopped the reading.
int ReadWholeFile(const std::string& path, std::string& data) {
  data.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  int error = 0;
  char buf[65536];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return error;
}

// "<stem>.txt", then "<stem> (2).txt", "<stem> (3).txt", ...
std::string NumberedName(const std::string& name, int n) {
  if (n == 1) return name;
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  return stem + " (" + std::to_string(n) + ")" + ext;
}

}  // namespace

std::string HistoryFolder() { return UserProgramFolder() + "/reports"; }

bool HistoryEnabled() { return ReadSetting(TIniFile_VT(), Setting::HistoryKeep) != 0; }

std::string KeepReport(const TReport& report) {
  const std::string folder = HistoryFolder();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    throw EReportNotKept(folder, std::strerror(errno));
  std::string name;
  try {
    name = ReportFileNameOnDisk(report.FileName);
  } catch (const std::exception& e) {
    throw EReportNotKept(folder, e.what());
  }
  const std::string bytes = ReportFileBytes(report.Lines);
  for (int n = 1;; ++n) {
    const std::string path = folder + "/" + NumberedName(name, n);
    try {
      if (WriteNewFileAtomically(path, bytes)) return path;
    } catch (const EWriteFailed& e) {
      throw EReportNotKept(folder, e.Reason);
    }
    std::string kept;
    if (ReadWholeFile(path, kept) == 0 && kept == bytes) return path;  // kept already
  }
}

void SplitReportFileName(const std::string& fileNameOnDisk, std::string& stem, std::string& rangePart) {
  QString base = QFile::decodeName(QByteArray::fromStdString(fileNameOnDisk));
  static const QRegularExpression copy(QStringLiteral(" \\(\\d+\\)$"));
  static const QRegularExpression range(QStringLiteral("^(.*)_(\\d{6}_\\d{6}|\\d{4,}_\\d{4,}|)$"));
  if (base.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) base.chop(4);
  base.remove(copy);
  const QRegularExpressionMatch m = range.match(base);
  stem = ReportBytes(m.hasMatch() ? m.captured(1) : base);
  rangePart = ReportBytes(m.hasMatch() ? m.captured(2) : QString());
}

TReport LoadReportFile(const std::string& path) {
  // Looked at before it is opened, so a FIFO or a device never makes the program wait.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw EReportFileRefused(path, EReportFileRefused::Unreadable, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw EReportFileRefused(path, EReportFileRefused::NotAFile);
  if (st.st_size > kMaxReportFileSize) throw EReportFileRefused(path, EReportFileRefused::TooLarge);
  std::string bytes;
  if (const int error = ReadWholeFile(path, bytes))
    throw EReportFileRefused(path, EReportFileRefused::Unreadable, std::strerror(error));
  if (static_cast<int64_t>(bytes.size()) > kMaxReportFileSize)
    throw EReportFileRefused(path, EReportFileRefused::TooLarge);  // it grew meanwhile
  // A NUL would end the report's text there and lose the rest: no report the program saves has one.
  size_t controls = 0;
  bool nul = false;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && b != '\r' && b != '\n' && b != '\t' && b != '\f') || b == 0x7F) ++controls;
    nul = nul || b == 0;
  }
  if (nul || controls * 100 > bytes.size()) throw EReportFileRefused(path, EReportFileRefused::NotText);

  TReport report;
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  SplitReportFileName(name, report.Stem, report.RangePart);
  report.FileName = ReportBytes(QFile::decodeName(QByteArray::fromStdString(name)));
  report.Lines = SplitReportText(std::move(bytes));
  return report;
}
