#pragma once

// Control of the fake modem lines that libfake_modem_lines.so puts on one
// pseudo-terminal when preloaded (see FakeModemLines.cpp). Looked up at run
// time, so that a test binary started without the preload can say so.

#include <sys/types.h>

extern "C" {
// Fakes TIOCMGET/TIOCMIWAIT for the character device `device` from now on,
// with the given TIOCM_* bits; `eventsRefused` makes TIOCMIWAIT fail with
// EINVAL, as a driver without line events does.
void fakeModemLinesAttach(dev_t device, int bits, int eventsRefused);
// Changes the lines and wakes a waiting TIOCMIWAIT.
void fakeModemLinesSet(int bits);
// The device has gone: both calls fail with EIO from now on.
void fakeModemLinesRemove();
// Threads inside the fake TIOCMIWAIT now, and TIOCMGET calls so far.
int fakeModemLinesWaiters();
long fakeModemLinesReads();
}
