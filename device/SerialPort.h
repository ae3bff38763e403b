#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "device/SerialDevice.h"
#include "support/Exceptions.h"

// Failure to open or configure a serial port; the message names the device path.
class ECommError : public Exception {
 public:
  using Exception::Exception;
};

// Owns one serial device: opens it by name (a "COMn" name through the port map, or a device
// path beginning with "/"), sets 8N1 at the chosen speed, queue sizes and time-outs, and
// closes it. Reading and writing go through Handle().
class TSerialPort {
 public:
  TSerialPort();
  explicit TSerialPort(std::unique_ptr<SerialDevice> device);  // tests inject a scripted device
  ~TSerialPort();
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;

  void Open(const std::string& name, int32_t baud);
  void Close();
  void ConfigureLine(int32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits);
  void SetupQueues(int32_t inputSize, int32_t outputSize);
  void SetTimeouts(uint32_t readInterval, uint32_t readMultiplier, uint32_t readConstant,
                   uint32_t writeMultiplier, uint32_t writeConstant);

  int32_t Baud() const { return FBaud; }
  const std::string& DeviceName() const { return FDeviceName; }
  SerialDevice* Handle() { return FDevice->IsOpen() ? FDevice.get() : nullptr; }
  bool IsOpen() const { return FDevice->IsOpen(); }

 private:
  [[noreturn]] void FailConfiguration();

  std::unique_ptr<SerialDevice> FDevice;
  int32_t FBaud = 0;
  std::string FDeviceName;
  std::mutex FLock;  // held around the read-modify-write of the line settings
};

// The device path a port name opens: a name beginning with "/" unchanged, otherwise the port
// map's entry; "" when the name maps to no device.
std::string PortDevicePath(const std::string& name);
