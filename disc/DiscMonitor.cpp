#include "disc/DiscMonitor.h"

#include <QSocketNotifier>
#include <cstring>
#include <libudev.h>
#include <sys/stat.h>

char DriveCharOf(const std::string& devnode) {
  const std::string prefix = "/dev/sr";
  if (devnode.rfind(prefix, 0) != 0 || devnode.size() == prefix.size()) return 0;
  int n = 0;
  for (size_t i = prefix.size(); i < devnode.size(); ++i) {
    if (devnode[i] < '0' || devnode[i] > '9') return 0;
    n = n * 10 + (devnode[i] - '0');
    if (n > 25) return 0;
  }
  return static_cast<char>('A' + n);
}

std::string UdevPropertyOf(const std::string& devnode, const char* key) {
  struct stat st {};
  if (::stat(devnode.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
  struct udev* u = udev_new();
  if (!u) return {};
  std::string value;
  if (udev_device* d = udev_device_new_from_devnum(u, 'b', st.st_rdev)) {
    if (const char* v = udev_device_get_property_value(d, key)) value = v;
    udev_device_unref(d);
  }
  udev_unref(u);
  return value;
}

TDiscDeviceMonitor::TDiscDeviceMonitor(QObject* parent) : QObject(parent) {
  udev_ = udev_new();
  if (!udev_) return;
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (!monitor_) return;
  udev_monitor_filter_add_match_subsystem_devtype(monitor_, "block", "disk");
  if (udev_monitor_enable_receiving(monitor_) < 0) {
    udev_monitor_unref(monitor_);
    monitor_ = nullptr;
    return;
  }
  notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadEvents(); });
}

TDiscDeviceMonitor::~TDiscDeviceMonitor() {
  delete notifier_;
  if (monitor_) udev_monitor_unref(monitor_);
  if (udev_) udev_unref(udev_);
}

void TDiscDeviceMonitor::ReadEvents() {
  while (udev_device* d = udev_monitor_receive_device(monitor_)) {
    auto prop = [d](const char* key) {
      const char* v = udev_device_get_property_value(d, key);
      return v && std::strcmp(v, "0") != 0 && *v;
    };
    const char* action = udev_device_get_action(d);
    const char* node = udev_device_get_devnode(d);
    const char* sysname = udev_device_get_sysname(d);
    const bool optical = prop("ID_CDROM") || (sysname && std::strncmp(sysname, "sr", 2) == 0);
    Dispatch(action ? action : "", node ? node : "", optical, prop("DISK_MEDIA_CHANGE"), prop("ID_CDROM_MEDIA"));
    udev_device_unref(d);
  }
}

void TDiscDeviceMonitor::Dispatch(const std::string& action, const std::string& devnode, bool optical,
                                  bool mediaChange, bool hasMedia) {
  if (!optical || devnode.empty()) return;
  if (action == "add") {
    if (OnRecorderAdded) OnRecorderAdded(devnode);
  } else if (action == "remove") {
    if (OnRecorderRemoved) OnRecorderRemoved(devnode);
  } else if (action == "change" && mediaChange) {
    if (hasMedia) {
      if (OnMediaInserted) OnMediaInserted(devnode);
    } else if (OnMediaRemoved) {
      OnMediaRemoved(devnode);
    }
  }
}
