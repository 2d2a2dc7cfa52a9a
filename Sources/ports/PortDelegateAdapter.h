#pragma once

#include <QPointer>
#include <memory>

#include "VELSerialPortDelegate.h"

class SerialPortDemoController;

// Stands in for the controller as a port's delegate. A port keeps its
// delegate as a std::weak_ptr and asks implementedCallbacks() from its own
// threads, so the delegate must be an object of its own: one whose lifetime
// a port can extend for the length of a call without touching the controller,
// which lives and dies on the GUI thread. The callbacks themselves run on the
// GUI thread and reach the controller while it exists.
class PortDelegateAdapter final : public VELSerialPortDelegate {
public:
    explicit PortDelegateAdapter(SerialPortDemoController& controller);

    Callbacks implementedCallbacks() const override;

    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>& port) override;
    void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>& port,
                                  std::span<const std::uint8_t> data) override;
    void serialPortDidEncounterError(const std::shared_ptr<VELSerialPort>& port, const vel::PosixError& error) override;
    void serialPortWasOpened(const std::shared_ptr<VELSerialPort>& port) override;
    void serialPortWasClosed(const std::shared_ptr<VELSerialPort>& port) override;

private:
    QPointer<SerialPortDemoController> controller_;
};
