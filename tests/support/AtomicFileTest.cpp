#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/AtomicFile.h"
#include "support/Exceptions.h"
#include "support/TempDir.h"

namespace {

constexpr uid_t kNobody = 65534;

// Each case returns 0 when the file came out as it should, or a number naming the failed check.
int OverPrivateFile(const std::string& dir, uid_t owner) {
  const std::string path = dir + "/private.txt";
  WriteFileBytes(path, "old");
  if (::chmod(path.c_str(), 0600) != 0 || ::chown(path.c_str(), owner, owner) != 0) return 1;
  WriteFileAtomically(path, "new");
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || (st.st_mode & 07777) != 0600 || st.st_uid != owner ||
      st.st_gid != owner)
    return 2;
  return ReadFileBytes(path) == "new" ? 0 : 4;
}

int OverLink(const std::string& dir, uid_t owner) {
  const std::string target = dir + "/target.txt", link = dir + "/link.txt";
  WriteFileBytes(target, "old");
  if (::chown(target.c_str(), owner, owner) != 0 || ::symlink("target.txt", link.c_str()) != 0) return 1;
  WriteFileAtomically(link, "new");
  struct stat st {};
  if (::lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 2;
  return ReadFileBytes(target) == "new" ? 0 : 3;
}

int OverReadOnlyFile(const std::string& dir, uid_t owner) {
  const std::string path = dir + "/readonly.txt";
  WriteFileBytes(path, "old");
  if (::chmod(path.c_str(), 0444) != 0 || ::chown(path.c_str(), owner, owner) != 0) return 1;
  try {
    WriteFileAtomically(path, "new");
    return 2;
  } catch (const Exception& e) {
    if (std::string(e.what()).find(path) == std::string::npos) return 3;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || (st.st_mode & 07777) != 0444) return 4;
  return ReadFileBytes(path) == "old" ? 0 : 5;
}

// Runs a case in a child that has become "nobody", in a folder that user may write.
int AsNobody(int (*check)(const std::string&, uid_t), const std::string& dir) {
  ::chmod(dir.c_str(), 0777);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) _exit(100);
    try {
      _exit(check(dir, kNobody));
    } catch (...) {
      _exit(99);
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

}  // namespace

TEST(AtomicFile, KeepsModeLinksAndRefusesReadOnlyFilesForRootAndUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to test as root and as nobody";
  const std::pair<const char*, int (*)(const std::string&, uid_t)> cases[] = {
      {"0600 file", OverPrivateFile}, {"link", OverLink}, {"0444 file", OverReadOnlyFile}};
  for (const auto& c : cases) {
    TempDir asRoot, asUser;
    // As root the file belongs to somebody else, whose ownership must survive the write.
    EXPECT_EQ(c.second(asRoot.path(), kNobody), 0) << c.first << " as root";
    EXPECT_EQ(AsNobody(c.second, asUser.path()), 0) << c.first << " as nobody";
  }
}
