#include "ports/PortDelegateAdapter.h"

#include "SerialPortDemoController.h"

PortDelegateAdapter::PortDelegateAdapter(SerialPortDemoController& controller) : controller_(&controller) {}

VELSerialPortDelegate::Callbacks PortDelegateAdapter::implementedCallbacks() const
{
    // Constant: this runs on the port's threads and must not look at the
    // controller. Packets, responses and timeouts are of no interest to the
    // window, so the port does not deliver them.
    return {Callback::WasRemovedFromSystem, Callback::DidReceiveData, Callback::DidEncounterError,
            Callback::WasOpened, Callback::WasClosed};
}

void PortDelegateAdapter::serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>& port)
{
    if (controller_) {
        controller_->serialPortWasRemovedFromSystem(port);
    }
}

void PortDelegateAdapter::serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>& port,
                                                   std::span<const std::uint8_t> data)
{
    if (controller_) {
        controller_->serialPortDidReceiveData(port, data);
    }
}

void PortDelegateAdapter::serialPortDidEncounterError(const std::shared_ptr<VELSerialPort>& port,
                                                      const vel::PosixError& error)
{
    if (controller_) {
        controller_->serialPortDidEncounterError(port, error);
    }
}

void PortDelegateAdapter::serialPortWasOpened(const std::shared_ptr<VELSerialPort>& port)
{
    if (controller_) {
        controller_->serialPortWasOpened(port);
    }
}

void PortDelegateAdapter::serialPortWasClosed(const std::shared_ptr<VELSerialPort>& port)
{
    if (controller_) {
        controller_->serialPortWasClosed(port);
    }
}
