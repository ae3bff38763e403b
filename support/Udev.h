#pragma once
// The system's device database (udev), through one small wrapper: a device's properties, and the
// notices of devices that come, go or change.
//
//   if (TUdevDevice d = UdevDeviceOfNode("/dev/sr0")) label = d.Property("ID_FS_LABEL");
//   TUdevMonitor monitor("block", "disk");               // watch monitor.Fd() for readability, then
//   while (TUdevDevice d = monitor.Next()) ... d.Action(), d.DevNode(), d.Flag("ID_CDROM") ...
//
// Where udev cannot be reached (a container without it), lookups give an empty device and a monitor
// is not Ok(): callers carry on without names and notices. Objects are used by one thread at a time.
#include <string>

struct udev_device;
struct udev_monitor;

class TUdevDevice {
 public:
  TUdevDevice() = default;
  explicit TUdevDevice(udev_device* owned) : d_(owned) {}
  TUdevDevice(TUdevDevice&& other) noexcept;
  TUdevDevice& operator=(TUdevDevice&& other) noexcept;
  TUdevDevice(const TUdevDevice&) = delete;
  TUdevDevice& operator=(const TUdevDevice&) = delete;
  ~TUdevDevice();

  explicit operator bool() const { return d_ != nullptr; }
  std::string Property(const char* key) const;  // "" when unset
  bool Flag(const char* key) const;             // set, not empty and not "0"
  std::string Action() const;                   // of a notice: "add", "remove", "change"...
  std::string DevNode() const;                  // "/dev/sr0"
  std::string SysName() const;                  // "sr0"

 private:
  udev_device* d_ = nullptr;
};

// The device behind a device node (links followed), block or character device alike.
TUdevDevice UdevDeviceOfNode(const std::string& devnode);
// The device of a subsystem by its kernel name ("tty", "ttyUSB0").
TUdevDevice UdevDeviceOf(const char* subsystem, const std::string& sysname);

// Notices of one subsystem (and device type, when given) from the udev daemon.
class TUdevMonitor {
 public:
  explicit TUdevMonitor(const char* subsystem, const char* devtype = nullptr);
  ~TUdevMonitor();
  TUdevMonitor(const TUdevMonitor&) = delete;
  TUdevMonitor& operator=(const TUdevMonitor&) = delete;

  bool Ok() const { return monitor_ != nullptr; }
  int Fd() const;
  // The next notice that waits; an empty device when none does. Never blocks.
  TUdevDevice Next();

 private:
  udev_monitor* monitor_ = nullptr;
};
