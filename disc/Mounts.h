#pragma once
// Internal to disc/ (programs include disc/DiscComponents.h).
// Mounted discs: where the medium of a drive is mounted, and asking the desktop to unmount it.
//
// A desktop mounts an archive disc as soon as it appears, and a mounted disc keeps the drive busy,
// so the burn library cannot take it. The recorder list shows the mounts (MountPointsOf); before a
// write, Burn asks the desktop's disc service, udisks2 on the system bus, to unmount the medium
// (UnmountDevice). The program never unmounts by itself: only that service knows whether this user
// may unmount a disc the desktop mounted, and it asks the operator for a password where needed.
//
// Both calls may run on any thread. UnmountDevice blocks while the service works, a password
// dialogue included (up to two minutes): call it from the burn job's worker, never on the UI thread.
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Where the medium in this drive is mounted ("/dev/sr0" or a link to it), in the order of the
// mount table. Matched by device number, as the table may name the device differently. Empty when
// it is not mounted, and for anything that is not a block device (an image file, a missing path).
std::vector<std::string> MountPointsOf(const std::string& devicePath);

// The mount points that a text in the format of /proc/self/mountinfo lists for the device number,
// octal escapes (\040 for a blank) decoded.
std::vector<std::string> MountPointsInMountInfo(std::string_view mountInfo, dev_t device);

// Asks the system to unmount every mount of the drive's medium; returns when none is left, at once
// when there was none. Throws Exception naming the mount path and what the operator can do when the
// disc service is missing, refuses, or the medium is still mounted afterwards.
void UnmountDevice(const std::string& devicePath);

// Test seams; an empty function restores the real one. Set them while no call is running.
void SetMountTableForTesting(std::function<std::vector<std::string>(const std::string& dev)> table);
void SetUnmounterForTesting(
    std::function<void(const std::string& dev, const std::string& mountPoint)> unmounter);
