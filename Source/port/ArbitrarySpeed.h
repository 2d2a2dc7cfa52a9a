#pragma once

namespace vel {

// Sets input and output speed of a terminal to any bit rate (termios2 with
// BOTHER), leaving every other attribute as it is, and reads it back.
// Returns 0, or -1 with errno set (EINVAL when the driver kept another speed).
// Kept apart because <asm/termbits.h> clashes with <termios.h>.
int setArbitrarySpeed(int fd, unsigned long speed);

// The output speed as the driver reports it through termios2, or 0 with
// errno set.
unsigned long readArbitrarySpeed(int fd);

}  // namespace vel
