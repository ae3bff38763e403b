#include "app/ReportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "support/Exceptions.h"

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

[[noreturn]] void Fail(const std::string& path, int err) {
  throw Exception("Cannot create file \"" + path + "\". " + std::strerror(err));
}

// write() may stop short (signals, pipes); keep going until everything is out.
bool WriteAll(int fd, const char* data, size_t size, int& err) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

void WriteReportFile(const std::string& path, const TStringList& lines) {
  if (path.empty()) throw Exception("Cannot create file \"\". No file name given");

  std::string tmpl = FolderOf(path) + "/.vq-report-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) Fail(path, errno);
  const std::string tempPath(name.data());

  int err = 0;
  bool ok = true;
  // mkstemp makes the file private; a saved report gets the usual permissions.
  if (::fchmod(fd, 0666 & ~CurrentUmask()) != 0) {
    err = errno;
    ok = false;
  }

  // Lines are written in chunks so a 100,000-line report does not take 100,000 syscalls.
  std::string buffer;
  buffer.reserve(1 << 16);
  for (size_t i = 0; ok && i < lines.size(); ++i) {
    buffer += lines[i];
    buffer += "\r\n";
    if (buffer.size() >= (1 << 16)) {
      ok = WriteAll(fd, buffer.data(), buffer.size(), err);
      buffer.clear();
    }
  }
  if (ok && !buffer.empty()) ok = WriteAll(fd, buffer.data(), buffer.size(), err);
  if (ok && ::fsync(fd) != 0) {
    err = errno;
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (ok && ::rename(tempPath.c_str(), path.c_str()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) {
    ::unlink(tempPath.c_str());
    Fail(path, err);
  }
}

std::string SafeFileNameStem(const std::string& stem) {
  std::string out;
  out.reserve(stem.size());
  for (const char c : stem) {
    const auto b = static_cast<unsigned char>(c);
    if (b == ' ') continue;
    if (b == '/' || b == '\\' || b < 0x20 || b == 0x7F)
      out += '_';
    else
      out += c;
  }
  if (out == "." || out == "..") return "_";
  return out;
}
