#include "support/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSaveFile>

#include "support/Exceptions.h"

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
  throw Exception("Cannot create file \"" + path + "\". " + why);
}

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
