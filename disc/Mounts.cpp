// Mount points from the kernel's mount table; unmounting through udisks2 over D-Bus.
#include "disc/Mounts.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/Exceptions.h"

namespace {

std::function<std::vector<std::string>(const std::string&)> g_table;
std::function<void(const std::string&, const std::string&)> g_unmounter;

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
// The service may show a password dialogue before it answers; D-Bus's default 25 s would give up
// while the operator types.
constexpr int kUnmountTimeoutMs = 120000;

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// The kernel writes a blank as \040, a tab as \011, a newline as \012 and a backslash as \134.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool octal =
        s[i] == '\\' && i + 3 < s.size() && IsOctal(s[i + 1]) && IsOctal(s[i + 2]) && IsOctal(s[i + 3]);
    out += octal ? static_cast<char>(std::stoi(s.substr(i + 1, 3), nullptr, 8)) : s[i];
    if (octal) i += 3;
  }
  return out;
}

std::string DiscAt(const std::string& dev, const std::string& mountPoint) {
  return "The disc in " + dev + " is mounted at " + mountPoint;
}

const char* const kWhatToDo =
    "Close the windows and programs that use it, or unmount it in the file manager, then burn again.";

[[noreturn]] void Refused(const std::string& dev, const std::string& mountPoint, const QString& why) {
  std::string reason = why.trimmed().toStdString();
  while (!reason.empty() && reason.back() == '.') reason.pop_back();
  throw Exception(DiscAt(dev, mountPoint) + " and could not be unmounted: " + reason + ". " + kWhatToDo);
}

// udisks2 knows a drive by its device node, not by the links to it (/dev/cdrom).
QString NodeOf(const std::string& dev) {
  char real[PATH_MAX];
  return QString::fromStdString(::realpath(dev.c_str(), real) ? std::string(real) : dev);
}

QDBusMessage CallOrThrow(const QDBusMessage& call, int timeoutMs, const std::string& dev,
                         const std::string& mountPoint) {
  const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, timeoutMs);
  if (reply.type() != QDBusMessage::ErrorMessage) return reply;
  const QDBusError::ErrorType type = QDBusError(reply).type();
  if (type == QDBusError::ServiceUnknown || type == QDBusError::Disconnected ||
      type == QDBusError::NoServer) {
    throw Exception(DiscAt(dev, mountPoint) +
                    ", and the desktop's disc service (udisks2) that unmounts it is missing. Unmount it "
                    "in the file manager, or ask the administrator to install udisks2, then burn again.");
  }
  Refused(dev, mountPoint, reply.errorMessage());
}

void UnmountWithUDisks(const std::string& dev, const std::string& mountPoint) {
  QDBusMessage resolve = QDBusMessage::createMethodCall(
      kService, QStringLiteral("/org/freedesktop/UDisks2/Manager"),
      QStringLiteral("org.freedesktop.UDisks2.Manager"), QStringLiteral("ResolveDevice"));
  resolve << QVariantMap{{QStringLiteral("path"), NodeOf(dev)}} << QVariantMap{};
  const QDBusMessage found = CallOrThrow(resolve, -1, dev, mountPoint);
  const auto objects = qdbus_cast<QList<QDBusObjectPath>>(found.arguments().value(0));
  if (objects.isEmpty()) Refused(dev, mountPoint, QStringLiteral("the disc service does not know the drive"));
  QDBusMessage unmount = QDBusMessage::createMethodCall(kService, objects.front().path(),
                                                        QStringLiteral("org.freedesktop.UDisks2.Filesystem"),
                                                        QStringLiteral("Unmount"));
  unmount << QVariantMap{};
  CallOrThrow(unmount, kUnmountTimeoutMs, dev, mountPoint);
}

}  // namespace

std::vector<std::string> MountPointsInMountInfo(std::string_view mountInfo, dev_t device) {
  // Each line: mount id, parent id, major:minor, root in the file system, mount point, ...
  const std::string wanted = std::to_string(major(device)) + ':' + std::to_string(minor(device));
  std::vector<std::string> out;
  std::istringstream in{std::string(mountInfo)};
  std::string line, id, parent, number, root, mountPoint;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    if (fields >> id >> parent >> number >> root >> mountPoint && number == wanted)
      out.push_back(Unescape(mountPoint));
  }
  return out;
}

std::vector<std::string> MountPointsOf(const std::string& devicePath) {
  if (g_table) return g_table(devicePath);
  struct stat st {};
  if (::stat(devicePath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
  std::ifstream in("/proc/self/mountinfo");
  return MountPointsInMountInfo(std::string(std::istreambuf_iterator<char>(in), {}), st.st_rdev);
}

void UnmountDevice(const std::string& devicePath) {
  const auto unmount = g_unmounter ? g_unmounter : UnmountWithUDisks;
  for (const std::string& mountPoint : MountPointsOf(devicePath)) {
    // One unmount may take several mounts of the medium away.
    const std::vector<std::string> now = MountPointsOf(devicePath);
    if (std::find(now.begin(), now.end(), mountPoint) != now.end()) unmount(devicePath, mountPoint);
  }
  const std::vector<std::string> left = MountPointsOf(devicePath);
  if (!left.empty())
    throw Exception("The disc in " + devicePath + " is still mounted at " + left.front() + ". " + kWhatToDo);
}

void SetMountTableForTesting(std::function<std::vector<std::string>(const std::string& dev)> table) {
  g_table = std::move(table);
}

void SetUnmounterForTesting(
    std::function<void(const std::string& dev, const std::string& mountPoint)> unmounter) {
  g_unmounter = std::move(unmounter);
}
