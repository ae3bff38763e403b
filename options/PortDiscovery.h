#pragma once
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
