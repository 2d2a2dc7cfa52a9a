#pragma once

#include <chrono>
#include <cstddef>

class VELSerialPort;

// How long bytes take on a serial line: each character is a start bit, its
// data bits, a parity bit when the line has parity, and its stop bits. At
// 115200 baud 8N1 a 43-byte frame takes 43 x 10 / 115200 s = 3.733 ms, which
// is how much later than its first byte the clock has the whole frame.
namespace WireTime {

using Nanoseconds = std::chrono::nanoseconds;

struct LineFormat {
    unsigned long baudRate = 115200;
    int dataBits = 8;
    bool parity = false;
    int stopBits = 1;
};

int bitsPerCharacter(const LineFormat& format);
// Zero for a line without a speed.
Nanoseconds of(std::size_t byteCount, const LineFormat& format);
// The format the port is set to (its data bits are always eight).
LineFormat formatOf(const VELSerialPort& port);

}  // namespace WireTime
