#include "options/PortDiscovery.h"

#include <strings.h>

#include <algorithm>

#include "device/PortMap.h"
#include "device/SerialDevice.h"
#include "support/Exceptions.h"

namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

// The number of a "COMn" name as the port map produces it; 0 for anything else.
int PortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 10) return 0;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

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
      if (std::binary_search(defined.begin(), defined.end(), name, LessNoCase))
        list.push_back(name);
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
      const int n = PortNumber(name);
      if (n < 1 || n > 2048) continue;
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
