#pragma once
#include <cstdint>

// Line speed through termios2 (any rate, 14400 and 28800 included). Kept apart from the
// termios code because <asm/termbits.h> and <termios.h> cannot share one source file.

// Sets the output speed to baud with BOTHER and clears the input-speed field, so the input
// speed follows the output speed. The other settings are kept as the driver reports them.
bool SetLineSpeed(int fd, uint32_t baud);

// Reads the output and input speed in bits per second (a cleared input field reads as the
// output speed).
bool GetLineSpeed(int fd, uint32_t& outSpeed, uint32_t& inSpeed);
