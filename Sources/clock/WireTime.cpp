#include "clock/WireTime.h"

#include "VELSerialPort.h"

namespace WireTime {

int bitsPerCharacter(const LineFormat& format)
{
    return 1 + format.dataBits + (format.parity ? 1 : 0) + format.stopBits;
}

Nanoseconds of(std::size_t byteCount, const LineFormat& format)
{
    if (format.baudRate == 0) {
        return Nanoseconds(0);
    }
    const auto bits = static_cast<long double>(byteCount) * bitsPerCharacter(format);
    return Nanoseconds(static_cast<Nanoseconds::rep>(bits * 1e9L / static_cast<long double>(format.baudRate) + 0.5L));
}

LineFormat formatOf(const VELSerialPort& port)
{
    LineFormat format;
    format.baudRate = port.baudRate();
    format.parity = port.parity() != VELSerialParityNone;
    format.stopBits = static_cast<int>(port.numberOfStopBits());
    return format;
}

}  // namespace WireTime
