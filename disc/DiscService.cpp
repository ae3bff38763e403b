#include "disc/DiscService.h"

#include <QSocketNotifier>
#include <QString>
#include <cstring>
#include <libudev.h>

namespace {
std::function<std::shared_ptr<IDiscDrives>()> g_factory;
std::vector<std::string> g_targets;
}  // namespace

std::shared_ptr<IDiscDrives> CreateDiscService() {
  return g_factory ? g_factory() : CreateLibburnService({true, g_targets});
}

void SetImageTargets(std::vector<std::string> paths) { g_targets = std::move(paths); }

void SetDiscServiceFactoryForTesting(std::function<std::shared_ptr<IDiscDrives>()> factory) {
  g_factory = std::move(factory);
}

std::string ImageTargetAddress(const std::string& path) { return "stdio:" + path; }

std::string IsoVolumeIdOf(const std::string& utf8Name) {
  std::string out;
  for (const char32_t u : QString::fromStdString(utf8Name).toUcs4()) {
    if (out.size() >= 32) break;
    const bool keep = (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
    out += (u >= 'a' && u <= 'z') ? static_cast<char>(u - 'a' + 'A') : keep ? static_cast<char>(u) : '_';
  }
  return out;
}

char DriveCharOf(const std::string& devnode) {
  const std::string n = devnode.rfind("/dev/sr", 0) == 0 ? devnode.substr(7) : std::string();
  if (n.empty() || n.size() > 2 || n.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(n) <= 25 ? static_cast<char>('A' + std::stoi(n)) : 0;
}

TDiscDeviceMonitor::TDiscDeviceMonitor(QObject* parent) : QObject(parent) {
  udev_ = udev_new();
  monitor_ = udev_ ? udev_monitor_new_from_netlink(udev_, "udev") : nullptr;
  if (!monitor_) return;
  udev_monitor_filter_add_match_subsystem_devtype(monitor_, "block", "disk");
  if (udev_monitor_enable_receiving(monitor_) < 0) return;  // no notices; the destructor lets go
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
    Dispatch(action ? action : "", node ? node : "", optical, prop("DISK_MEDIA_CHANGE"),
             prop("ID_CDROM_MEDIA"));
    udev_device_unref(d);
  }
}

void TDiscDeviceMonitor::Dispatch(const std::string& action, const std::string& devnode, bool optical,
                                  bool mediaChange, bool hasMedia) {
  if (!optical || devnode.empty()) return;
  // Only a media change tells of a disc put in or taken out; other changes are the drive's own.
  const auto* handler = action == "add"                      ? &OnRecorderAdded
                        : action == "remove"                 ? &OnRecorderRemoved
                        : action != "change" || !mediaChange ? nullptr
                        : hasMedia                           ? &OnMediaInserted
                                                             : &OnMediaRemoved;
  if (handler && *handler) (*handler)(devnode);
}
