#include "support/Udev.h"

#include <libudev.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <utility>

namespace {

// One context for the process; libudev's context holds no state that would need renewing.
udev* Context() {
  static udev* context = nullptr;
  static std::once_flag once;
  std::call_once(once, [] { context = udev_new(); });
  return context;
}

std::string Text(const char* s) { return s ? s : ""; }

}  // namespace

TUdevDevice::TUdevDevice(TUdevDevice&& other) noexcept : d_(std::exchange(other.d_, nullptr)) {}

TUdevDevice& TUdevDevice::operator=(TUdevDevice&& other) noexcept {
  if (this != &other) {
    if (d_) udev_device_unref(d_);
    d_ = std::exchange(other.d_, nullptr);
  }
  return *this;
}

TUdevDevice::~TUdevDevice() {
  if (d_) udev_device_unref(d_);
}

std::string TUdevDevice::Property(const char* key) const {
  return d_ ? Text(udev_device_get_property_value(d_, key)) : "";
}

bool TUdevDevice::Flag(const char* key) const {
  const std::string v = Property(key);
  return !v.empty() && v != "0";
}

std::string TUdevDevice::Action() const { return d_ ? Text(udev_device_get_action(d_)) : ""; }
std::string TUdevDevice::DevNode() const { return d_ ? Text(udev_device_get_devnode(d_)) : ""; }
std::string TUdevDevice::SysName() const { return d_ ? Text(udev_device_get_sysname(d_)) : ""; }

TUdevDevice UdevDeviceOfNode(const std::string& devnode) {
  struct stat st {};
  if (!Context() || ::stat(devnode.c_str(), &st) != 0) return {};
  const char type = S_ISBLK(st.st_mode) ? 'b' : S_ISCHR(st.st_mode) ? 'c' : 0;
  return type ? TUdevDevice(udev_device_new_from_devnum(Context(), type, st.st_rdev)) : TUdevDevice();
}

TUdevDevice UdevDeviceOf(const char* subsystem, const std::string& sysname) {
  return Context()
             ? TUdevDevice(udev_device_new_from_subsystem_sysname(Context(), subsystem, sysname.c_str()))
             : TUdevDevice();
}

TUdevMonitor::TUdevMonitor(const char* subsystem, const char* devtype) {
  udev_monitor* m = Context() ? udev_monitor_new_from_netlink(Context(), "udev") : nullptr;
  if (!m) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(m, subsystem, devtype) < 0 ||
      udev_monitor_enable_receiving(m) < 0) {
    udev_monitor_unref(m);
    return;
  }
  monitor_ = m;
}

TUdevMonitor::~TUdevMonitor() {
  if (monitor_) udev_monitor_unref(monitor_);
}

int TUdevMonitor::Fd() const { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }

TUdevDevice TUdevMonitor::Next() {
  return monitor_ ? TUdevDevice(udev_monitor_receive_device(monitor_)) : TUdevDevice();
}
