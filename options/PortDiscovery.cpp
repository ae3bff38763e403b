#include "options/PortDiscovery.h"

#include <limits.h>
#include <stdlib.h>
#include <strings.h>

#include <cstring>
#include <mutex>

#include <algorithm>

#include "device/PortMap.h"
#include "device/SerialDevice.h"
#include "support/Exceptions.h"
#include "support/Udev.h"

namespace {

bool LessNoCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

std::mutex gHookMutex;
std::function<std::string(const std::string&)> gDescriber;
std::function<std::unique_ptr<PortEventSource>()> gEventFactory;

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
  const TUdevDevice dev = UdevDeviceOf("tty", slash ? slash + 1 : real);
  if (!dev) return "";
  std::string vendor = dev.Property("ID_VENDOR_FROM_DATABASE");
  std::string model = dev.Property("ID_MODEL_FROM_DATABASE");
  if (vendor.empty()) vendor = Unmangled(dev.Property("ID_VENDOR"));
  if (model.empty()) model = Unmangled(dev.Property("ID_MODEL"));
  return vendor.empty() || model.empty() ? vendor + model : vendor + " " + model;
}

class UdevPortEvents : public PortEventSource {
 public:
  bool Ok() const { return monitor_.Ok(); }
  int Fd() const override { return monitor_.Fd(); }
  void Drain() override {
    while (monitor_.Next()) {
    }
  }

 private:
  TUdevMonitor monitor_{"tty"};
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
