// Mounted discs: the mount table, and unmounting through a stand-in udisks2 on a private bus.
#include <gmock/gmock.h>
#include <sys/sysmacros.h>

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <QtDBus>

#include "disc/Mounts.h"
#include "support/Exceptions.h"

using ::testing::AllOf, ::testing::HasSubstr;
using Strings = std::vector<std::string>;

TEST(Mounts, MountTableGivesEveryMountOfTheDeviceDecoded) {
  const std::string table =
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 22 11:0 / /media/op/ARCH\\040S1 ro - iso9660 /dev/sr0 ro\n"
      "41 22 11:0 /dir /mnt/a\\134b\\011c\\04 ro - iso9660 /dev/sr0 ro\n";
  EXPECT_EQ(MountPointsInMountInfo(table, makedev(11, 0)),
            (Strings{"/media/op/ARCH S1", "/mnt/a\\b\tc\\04"}));
  EXPECT_TRUE(MountPointsInMountInfo(table, makedev(1, 0)).empty());
  EXPECT_TRUE(MountPointsOf("/dev/null").empty());
}

// udisks2's manager and block objects: Unmount takes every mount away, or fails with the refusal.
class FakeUDisks : public QDBusVirtualObject {
 public:
  QStringList calls;
  Strings mounts;
  QString refusal;
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
    QString call = m.interface() + "." + m.member() + "(" + m.signature() + ") " + m.path();
    for (const QVariant& a : m.arguments())
      for (auto [k, v] : qdbus_cast<QVariantMap>(a).asKeyValueRange()) call += " " + k + "=" + v.toString();
    calls << call;
    if (m.member() == "ResolveDevice") {
      const QDBusObjectPath object("/org/freedesktop/UDisks2/block_devices/" + call.section('/', -1));
      return bus.send(m.createReply(QVariant::fromValue(QList<QDBusObjectPath>{object})));
    }
    if (!refusal.isEmpty())
      return bus.send(m.createErrorReply("org.freedesktop.UDisks2.Error.DeviceBusy", refusal));
    mounts.clear();
    return bus.send(m.createReply());
  }
};

TEST(Mounts, UnmountAsksUDisksOnTheSystemBus) {
  QProcess daemon;  // a private bus in place of the system bus
  daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
  ASSERT_TRUE(daemon.waitForReadyRead(10000)) << "dbus-daemon (package dbus) did not start";
  const QByteArray address = daemon.readLine().trimmed();
  qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
  FakeUDisks fake;
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address), "fake-udisks");
  ASSERT_TRUE(bus.registerVirtualObject("/org/freedesktop/UDisks2", &fake, QDBusConnection::SubPath));
  ASSERT_TRUE(bus.registerService("org.freedesktop.UDisks2"));
  QThread serviceThread;  // answers while this thread waits in the blocking call
  serviceThread.start();
  fake.moveToThread(&serviceThread);
  SetMountTableForTesting([&](const std::string&) { return fake.mounts; });
  auto unmountFails = [](const auto& matcher) {
    EXPECT_THAT([] { UnmountDevice("/dev/sr7"); }, ::testing::ThrowsMessage<Exception>(AllOf(
                                                       HasSubstr("mounted at /media/op/ARCH S1"), matcher)));
  };
  fake.mounts = {"/media/op/ARCH S1", "/media/op/copy"};
  EXPECT_NO_THROW(UnmountDevice("/dev/sr7"));  // one unmount takes both away
  EXPECT_EQ(fake.calls.join('\n').toStdString(),
            "org.freedesktop.UDisks2.Manager.ResolveDevice(a{sv}a{sv}) /org/freedesktop/UDisks2/Manager "
            "path=/dev/sr7\n"
            "org.freedesktop.UDisks2.Filesystem.Unmount(a{sv}) /org/freedesktop/UDisks2/block_devices/sr7");
  SetMountTableForTesting([](const std::string&) { return Strings{"/media/op/ARCH S1"}; });
  unmountFails(HasSubstr("still mounted"));
  fake.refusal = "target is busy.";
  unmountFails(AllOf(HasSubstr("target is busy. Close the windows"), HasSubstr("file manager")));
  bus.unregisterService("org.freedesktop.UDisks2");
  unmountFails(HasSubstr("disc service (udisks2)"));
  SetMountTableForTesting({});
  serviceThread.quit();
  serviceThread.wait();
  daemon.kill();
  daemon.waitForFinished();
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
