#pragma once

#include <QString>
#include <memory>

class VELSerialPort;

// How the port selector names a port: the port's name, made telling. A
// pseudo-terminal's bare number ("3") reads "pts/3 (pseudo-terminal)"; a
// real device adds the model, vendor and serial number that its device
// entry carries, so that two USB adapters of the same kind can be told
// apart. The port's own name does not change.
//
// Reads only the port's device entry; never blocks, never fails: what the
// entry lacks is left out.
class PortLabel {
public:
    static QString of(const std::shared_ptr<VELSerialPort>& port);
};
