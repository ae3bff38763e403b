#pragma once
#include <string>
#include <vector>

// Where the port map looks. "ports" empty = UserProgramFolder() + "/ports".
struct PortRoots {
  std::string sys = "/sys", dev = "/dev", ports;
};

// Tests point the map at a fake tree; a default-constructed PortRoots restores the real one.
void SetPortRootsForTesting(const PortRoots&);
// The roots in force, with "ports" resolved to a folder.
PortRoots CurrentPortRoots();

// "COMn" with letter case ignored, n decimal without leading zeros, 1..99999: true and n set.
// The one parser of port names for the whole program.
bool ParseComName(const std::string& name, int& n);

// "COMn" (letter case ignored) -> device path:
//   a symbolic link COMn (any n, letter case ignored) in the ports folder -> its target,
//   COM1-COM32  -> <dev>/ttyS0-31, only where <sys>/class/tty/ttySn/type is not 0,
//   COM33-COM64 -> <dev>/ttyUSB0-31, COM65-COM96 -> <dev>/ttyACM0-31.
// A name beginning with "/" is returned unchanged; any other name -> "".
// Throws Exception when the ports folder exists but cannot be read.
std::string DevicePathForPort(const std::string& name);

// "COMn" names that currently map to an existing device, ascending n.
// Throws Exception when the ports folder exists but cannot be read.
std::vector<std::string> DefinedPortNames();
