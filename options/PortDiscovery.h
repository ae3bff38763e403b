#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Serial-port discovery for the port selector: names of the form "COM" + number.

// Appends the ports of this platform's listing method (FillCommList) to list, ascending
// number. Errors come back as Exception("Exception in method \"Get_COM_EX\":" + text).
void Get_COM_EX(std::vector<std::string>& list);

// Clears list and fills it with COM1..COM2047 that are defined device names; returns the
// count. Errors come back as Exception("Exception in method \"FillCommList\":" + text).
int FillCommList(std::vector<std::string>& list);

// Replaces list with every port name the port map defines now, sorted as text with letter
// case ignored.
void ListDosDevices(std::vector<std::string>& list);

// Clears list and fills it with COM1..COM2048 that can be opened exclusively right now
// (each is closed again at once). Never raises: the first error ends the search with false.
// Opening a port toggles its modem lines, which resets some devices: the listing method is
// the one used.
bool ProbeComPorts(std::vector<std::string>& list);

// One line of the port selector: the "COMn" name that is saved, the device it maps to and,
// for a USB adapter, the vendor and model udev knows ("" when it knows none).
struct PortEntry {
  std::string name, device, description;
};

// The ports FillCommList lists, each with its device and description.
std::vector<PortEntry> ListPortEntries();

// Vendor and model of the tty device at `devicePath` (links followed) from the udev database,
// preferring the names from the hardware database; "" when udev has none.
std::string PortDescription(const std::string& devicePath);

// Tests describe devices without udev; an empty function restores the udev lookup.
void SetPortDescriberForTesting(std::function<std::string(const std::string&)> describer);

// Something to watch for serial devices coming and going: a descriptor that becomes readable
// on a change, and Drain() to consume what made it readable.
class PortEventSource {
 public:
  virtual ~PortEventSource() = default;
  virtual int Fd() const = 0;
  virtual void Drain() = 0;
};

// A udev monitor on the tty subsystem; nullptr when udev cannot be reached.
std::unique_ptr<PortEventSource> CreatePortEventSource();

// Tests hand in their own source; an empty function restores the udev monitor.
void SetPortEventSourceFactoryForTesting(std::function<std::unique_ptr<PortEventSource>()> factory);
