#include "ports/PortLineSettings.h"

#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "ports/PortIdentity.h"

PortLineSettings::PortLineSettings(SerialPortDemoController& controller, QObject* parent)
    : QObject(parent), controller_(controller)
{
    connect(&controller, &SerialPortDemoController::serialPortChanged, this, &PortLineSettings::applyToCurrentPort);
    // A close lowers nothing, but the user may have lowered a line by hand:
    // the next open raises both again, as the serial tools users know do.
    connect(&controller, &SerialPortDemoController::portStateChanged, this, [this](PortStatus::State state) {
        if (state == PortStatus::State::Closed) {
            if (const auto port = controller_.serialPort(); port && !port->isOpen() && current().raisesModemLinesOnOpen) {
                port->setDTR(true);
                port->setRTS(true);
            }
        }
    });
    applyToCurrentPort();
}

void PortLineSettings::setStorage(Load load, Save save)
{
    load_ = std::move(load);
    save_ = std::move(save);
    applyToCurrentPort();
}

LineSettings PortLineSettings::settingsFor(const QString& identity) const
{
    if (const auto found = chosen_.constFind(identity); found != chosen_.constEnd()) {
        return *found;
    }
    if (load_) {
        if (const auto stored = load_(identity)) {
            return *stored;
        }
    }
    return {};
}

LineSettings PortLineSettings::current() const
{
    return settingsFor(PortIdentity::of(controller_.serialPort()));
}

void PortLineSettings::choose(const LineSettings& settings)
{
    const auto port = controller_.serialPort();
    if (!port) {
        return;
    }
    const QString identity = PortIdentity::of(port);
    chosen_.insert(identity, settings);
    if (save_) {
        save_(identity, settings);
    }
    applyToCurrentPort();
}

void PortLineSettings::applyToCurrentPort()
{
    const auto port = controller_.serialPort();
    if (!port) {
        return;
    }
    const LineSettings settings = current();
    settings.applyTo(*port);
    emit changed(settings);
}
