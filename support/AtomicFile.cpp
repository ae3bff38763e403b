#include "support/AtomicFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QFileInfo>
#include <QSaveFile>

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& why) { throw EWriteFailed(path, why); }

}  // namespace

void WriteFileAtomically(const std::string& path, const std::string& data) {
  if (path.empty()) Fail(path, "No file name given");
  const QString name = QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));

  // stat() follows a link, so a link is judged by the file it points at.
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) Fail(path, "It is not a regular file.");
  if (exists && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) Fail(path, "The file is read-only.");

  QSaveFile file(name);
  // Without this Qt would fall back to writing the target in place when the folder
  // does not let it create the temporary file, which is no longer whole-or-nothing.
  file.setDirectWriteFallback(false);
  // Unbuffered, so a short write (full disk, file size limit) reaches the loop below
  // instead of being dropped silently by the buffer's flush inside commit().
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) Fail(path, file.errorString().toStdString());

  if (exists) {
    // Qt keeps the mode; the owner and group are kept where the user may set them
    // (root always, otherwise the group when the user is a member of it).
    const int fd = file.handle();
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    (void)::fchmod(fd, old.st_mode & 07777);
  }

  qint64 done = 0;
  while (done < static_cast<qint64>(data.size())) {
    const qint64 n = file.write(data.data() + done, static_cast<qint64>(data.size()) - done);
    if (n <= 0) {
      const std::string why = file.errorString().toStdString();
      file.cancelWriting();
      Fail(path, why);
    }
    done += n;
  }
  // commit() flushes the data to disk before the rename.
  if (!file.commit()) Fail(path, file.errorString().toStdString());
}

namespace {

// The whole of data into an open file, flushed to disk; false with errno set on failure.
bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return ::fsync(fd) == 0;
}

}  // namespace

bool WriteNewFileAtomically(const std::string& path, const std::string& data) {
  if (path.empty()) Fail(path, "No file name given");
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  auto failWith = [&](int error) { Fail(path, std::strerror(error)); };

  // A file without a name, given one only when whole: no half-written file is ever seen in the folder.
  int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  std::string named;  // a named temporary file, where the file system has no unnamed ones
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    named = folder + "/.vq-new-XXXXXX";
    fd = ::mkostemp(named.data(), O_CLOEXEC);  // 0600
  }
  if (fd < 0) failWith(errno);
  int error = 0;
  bool created = false;
  if (!WriteAll(fd, data)) {
    error = errno;
  } else if (named.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
      created = true;
    else if (errno != EEXIST)
      error = errno;
  } else if (::renameat2(AT_FDCWD, named.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
    created = true;
    named.clear();
  } else if (errno != EEXIST) {
    error = errno;
  }
  ::close(fd);
  if (!named.empty()) ::unlink(named.c_str());
  if (error != 0) failWith(error);
  if (created) {
    // The new name itself reaches the disk too.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
  return created;
}
