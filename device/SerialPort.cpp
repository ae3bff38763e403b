#include "device/SerialPort.h"

#include <errno.h>
#include <grp.h>
#include <sys/stat.h>

#include <vector>

#include "device/PortMap.h"

namespace {

// The sentences added to "Unable to open port %s!" when the device refused us for lack of
// permission. Serial devices belong to a group (dialout on Debian) that the user has to join,
// and a new membership only counts from the next login.
std::string GroupHint(const std::string& path) {
  std::string name = "dialout";
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && st.st_gid != 0) {
    std::vector<char> buf(16384);
    group g{};
    group* found = nullptr;
    if (getgrgid_r(st.st_gid, &g, buf.data(), buf.size(), &found) == 0 && found && found->gr_name)
      name = found->gr_name;
  }
  return " You have no permission to use it: add your user to the group \"" + name +
         "\" (sudo adduser $USER " + name + "), then log out and log in again.";
}

}  // namespace

std::string PortDevicePath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  return DevicePathForPort(name);
}

TSerialPort::TSerialPort() : FDevice(CreateSerialDevice()) {}

TSerialPort::TSerialPort(std::unique_ptr<SerialDevice> device)
    : FDevice(device ? std::move(device) : CreateSerialDevice()) {}

TSerialPort::~TSerialPort() {
  if (FDevice->IsOpen()) Close();
}

void TSerialPort::Open(const std::string& name, int32_t baud) {
  if (name.empty()) throw ECommError("Unable to open port: no port name given!");

  // A name that maps to no device (an adapter that is not plugged in, a name that is not
  // "COMn") cannot be turned into a path: the message then names the port as given.
  std::string path;
  try {
    path = PortDevicePath(name);
  } catch (const std::exception& e) {
    throw ECommError("Unable to open port " + name + "! " + e.what());
  }
  const std::string& shown = path.empty() ? name : path;

  // The fields keep describing the port that is open; the message names the one asked for.
  if (FDevice->IsOpen()) throw ECommError("Port " + shown + " already taken!");
  if (path.empty()) throw ECommError("Unable to open port " + shown + "!");

  int err = 0;
  if (!FDevice->Open(path, err)) {
    // A COMn whose device is absent (an adapter unplugged) is named as the operator chose it.
    const bool absent = (err == ENOENT || err == ENODEV || err == ENXIO) && name[0] != '/';
    std::string message = "Unable to open port " + (absent ? name : path) + "!";
    if (err == EACCES || err == EPERM) message += GroupHint(path);
    throw ECommError(message);
  }
  FDeviceName = path;
  FBaud = baud;

  ConfigureLine(FBaud, 8, 0, 0);
  SetTimeouts(50, 0, 200, 0, 0);
  SetupQueues(256, 256);
}

void TSerialPort::Close() {
  FDevice->Close();
  FDeviceName.clear();
  FBaud = 0;
}

void TSerialPort::FailConfiguration() {
  // Formed before closing, so the message still names the port.
  const std::string message = "Unable to configure port " + FDeviceName + "!";
  Close();
  throw ECommError(message);
}

void TSerialPort::ConfigureLine(int32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
  if (!FDevice->IsOpen()) return;
  bool ok;
  {
    std::lock_guard<std::mutex> hold(FLock);
    ok = FDevice->ConfigureLine(baud, dataBits, parity, stopBits);
  }
  if (!ok) FailConfiguration();
  FBaud = baud;
}

void TSerialPort::SetupQueues(int32_t inputSize, int32_t outputSize) {
  if (!FDevice->SetupQueues(inputSize, outputSize)) FailConfiguration();
}

void TSerialPort::SetTimeouts(uint32_t readInterval, uint32_t readMultiplier, uint32_t readConstant,
                              uint32_t writeMultiplier, uint32_t writeConstant) {
  const CommTimeouts t{readInterval, readMultiplier, readConstant, writeMultiplier, writeConstant};
  if (!FDevice->SetTimeouts(t)) FailConfiguration();
}
