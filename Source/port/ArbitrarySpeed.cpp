// Must include neither <termios.h> nor <asio.hpp> (which includes it): the
// kernel's termios2 definitions clash with glibc's.
#include "port/ArbitrarySpeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace vel {

int setArbitrarySpeed(int fd, unsigned long speed)
{
    struct termios2 attributes {};
    if (::ioctl(fd, TCGETS2, &attributes) < 0) {
        return -1;
    }
    attributes.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    attributes.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    attributes.c_ispeed = static_cast<speed_t>(speed);
    attributes.c_ospeed = static_cast<speed_t>(speed);
    if (::ioctl(fd, TCSETS2, &attributes) < 0) {
        return -1;
    }
    // A driver may accept the call yet keep a speed of its own choosing.
    if (readArbitrarySpeed(fd) != speed) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

unsigned long readArbitrarySpeed(int fd)
{
    struct termios2 attributes {};
    if (::ioctl(fd, TCGETS2, &attributes) < 0) {
        return 0;
    }
    return attributes.c_ospeed;
}

}  // namespace vel
