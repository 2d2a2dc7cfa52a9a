#include "VELSerialPortDelegate.h"

// The optional callbacks do nothing unless a delegate overrides them; the port
// calls only those a delegate lists in implementedCallbacks().

void VELSerialPortDelegate::serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>&,
                                                     std::span<const std::uint8_t>)
{
}

void VELSerialPortDelegate::serialPortDidEncounterError(const std::shared_ptr<VELSerialPort>&,
                                                        const vel::PosixError&)
{
}

void VELSerialPortDelegate::serialPortWasOpened(const std::shared_ptr<VELSerialPort>&) {}

void VELSerialPortDelegate::serialPortWasClosed(const std::shared_ptr<VELSerialPort>&) {}

void VELSerialPortDelegate::serialPortDidReceivePacketMatchingDescriptor(
    const std::shared_ptr<VELSerialPort>&, std::span<const std::uint8_t>,
    const std::shared_ptr<VELSerialPacketDescriptor>&)
{
}

void VELSerialPortDelegate::serialPortDidReceiveResponseToRequest(const std::shared_ptr<VELSerialPort>&,
                                                                  std::span<const std::uint8_t>,
                                                                  const std::shared_ptr<VELSerialRequest>&)
{
}

void VELSerialPortDelegate::serialPortRequestDidTimeout(const std::shared_ptr<VELSerialPort>&,
                                                        const std::shared_ptr<VELSerialRequest>&)
{
}
