#include "options/PortDiscovery.h"

#include <libudev.h>
#include <limits.h>
#include <stdlib.h>
#include <strings.h>

#include <cstring>
#include <mutex>

#include <algorithm>

#include "device/PortMap.h"
#include "device/SerialDevice.h"
#include "support/Exceptions.h"

namespace {

bool LessNoCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

std::mutex gHookMutex;
std::function<std::string(const std::string&)> gDescriber;
std::function<std::unique_ptr<PortEventSource>()> gEventFactory;

std::string Property(udev_device* dev, const char* key) {
  const char* v = udev_device_get_property_value(dev, key);
  return v ? v : "";
}

// ID_VENDOR and ID_MODEL come from the device's own strings with blanks made "_".
std::string Unmangled(std::string s) {
  for (char& c : s)
    if (c == '_') c = ' ';
  return s;
}

std::string UdevDescription(const std::string& devicePath) {
  char real[PATH_MAX];
  if (!::realpath(devicePath.c_str(), real)) return "";
  const char* slash = std::strrchr(real, '/');
  udev* u = udev_new();
  if (!u) return "";
  std::string text;
  if (udev_device* dev = udev_device_new_from_subsystem_sysname(u, "tty", slash ? slash + 1 : real)) {
    std::string vendor = Property(dev, "ID_VENDOR_FROM_DATABASE");
    std::string model = Property(dev, "ID_MODEL_FROM_DATABASE");
    if (vendor.empty()) vendor = Unmangled(Property(dev, "ID_VENDOR"));
    if (model.empty()) model = Unmangled(Property(dev, "ID_MODEL"));
    text = vendor.empty() || model.empty() ? vendor + model : vendor + " " + model;
    udev_device_unref(dev);
  }
  udev_unref(u);
  return text;
}

class UdevPortEvents : public PortEventSource {
 public:
  UdevPortEvents() {
    udev_ = udev_new();
    if (!udev_) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
    }
  }
  ~UdevPortEvents() override {
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
  }
  bool Ok() const { return monitor_ != nullptr; }
  int Fd() const override { return udev_monitor_get_fd(monitor_); }
  void Drain() override {
    while (udev_device* dev = udev_monitor_receive_device(monitor_)) udev_device_unref(dev);
  }

 private:
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

}  // namespace

void ListDosDevices(std::vector<std::string>& list) {
  std::vector<std::string> names = DefinedPortNames();
  std::sort(names.begin(), names.end(), LessNoCase);
  list = std::move(names);
}

int FillCommList(std::vector<std::string>& list) {
  try {
    list.clear();
    std::vector<std::string> defined;
    ListDosDevices(defined);
    for (int n = 1; n <= 2047; ++n) {
      const std::string name = "COM" + std::to_string(n);
      if (std::binary_search(defined.begin(), defined.end(), name, LessNoCase)) list.push_back(name);
    }
    return int(list.size());
  } catch (const std::exception& e) {
    throw Exception(std::string("Exception in method \"FillCommList\":") + e.what());
  }
}

void Get_COM_EX(std::vector<std::string>& list) {
  try {
    std::vector<std::string> found;
    const int count = FillCommList(found);
    list.insert(list.end(), found.begin(), found.begin() + count);
  } catch (const std::exception& e) {
    throw Exception(std::string("Exception in method \"Get_COM_EX\":") + e.what());
  }
}

bool ProbeComPorts(std::vector<std::string>& list) {
  list.clear();
  bool result = false;
  try {
    // Only names that map to an existing device can open; the map lists them in ascending
    // number, so this visits the same ports as trying COM1..COM2048 one by one.
    for (const std::string& name : DefinedPortNames()) {
      int n = 0;
      if (!ParseComName(name, n) || n > 2048) continue;
      const std::string path = DevicePathForPort(name);
      if (path.empty()) continue;
      std::unique_ptr<SerialDevice> device = CreateSerialDevice();
      int err = 0;
      if (device->Open(path, err)) {
        device->Close();
        result = true;
        list.push_back(name);
      }
    }
  } catch (...) {
    return false;
  }
  return result;
}

std::string PortDescription(const std::string& devicePath) {
  std::function<std::string(const std::string&)> describer;
  {
    std::lock_guard<std::mutex> hold(gHookMutex);
    describer = gDescriber;
  }
  return describer ? describer(devicePath) : UdevDescription(devicePath);
}

void SetPortDescriberForTesting(std::function<std::string(const std::string&)> describer) {
  std::lock_guard<std::mutex> hold(gHookMutex);
  gDescriber = std::move(describer);
}

std::vector<PortEntry> ListPortEntries() {
  std::vector<std::string> names;
  Get_COM_EX(names);
  std::vector<PortEntry> entries;
  entries.reserve(names.size());
  for (const std::string& name : names) {
    const std::string device = DevicePathForPort(name);
    entries.push_back({name, device, device.empty() ? std::string() : PortDescription(device)});
  }
  return entries;
}

std::unique_ptr<PortEventSource> CreatePortEventSource() {
  std::function<std::unique_ptr<PortEventSource>()> factory;
  {
    std::lock_guard<std::mutex> hold(gHookMutex);
    factory = gEventFactory;
  }
  if (factory) return factory();
  auto source = std::make_unique<UdevPortEvents>();
  if (!source->Ok()) return nullptr;
  return source;
}

void SetPortEventSourceFactoryForTesting(std::function<std::unique_ptr<PortEventSource>()> factory) {
  std::lock_guard<std::mutex> hold(gHookMutex);
  gEventFactory = std::move(factory);
}
