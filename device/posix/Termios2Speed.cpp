#include "device/posix/Termios2Speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

struct SpeedCode {
  unsigned code;
  uint32_t rate;
};

const SpeedCode kSpeedCodes[] = {
    {B0, 0},
    {B50, 50},
    {B75, 75},
    {B110, 110},
    {B134, 134},
    {B150, 150},
    {B200, 200},
    {B300, 300},
    {B600, 600},
    {B1200, 1200},
    {B1800, 1800},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
    {B460800, 460800},
    {B500000, 500000},
    {B576000, 576000},
    {B921600, 921600},
    {B1000000, 1000000},
    {B1152000, 1152000},
    {B1500000, 1500000},
    {B2000000, 2000000},
    {B2500000, 2500000},
    {B3000000, 3000000},
    {B3500000, 3500000},
    {B4000000, 4000000},
};

// A speed field (CBAUD bits) to bits per second; explicit is the rate stored beside it.
bool DecodeSpeed(unsigned field, uint32_t explicitRate, uint32_t& rate) {
  if (field == BOTHER) {
    rate = explicitRate;
    return true;
  }
  for (const SpeedCode& c : kSpeedCodes) {
    if (c.code == field) {
      rate = c.rate;
      return true;
    }
  }
  return false;
}

}  // namespace

bool SetLineSpeed(int fd, uint32_t baud) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER;
  t.c_ospeed = baud;
  // Setting the input speed as well leaves a stale input rate behind on some drivers when
  // switching between custom and standard rates; 0 in the field means "same as output".
  t.c_ispeed = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool GetLineSpeed(int fd, uint32_t& outSpeed, uint32_t& inSpeed) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  if (!DecodeSpeed(t.c_cflag & CBAUD, t.c_ospeed, outSpeed)) return false;
  const unsigned inField = (t.c_cflag >> IBSHIFT) & CBAUD;
  if (inField == B0) {
    inSpeed = outSpeed;
    return true;
  }
  return DecodeSpeed(inField, t.c_ispeed, inSpeed);
}
