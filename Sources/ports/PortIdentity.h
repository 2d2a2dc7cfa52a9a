#pragma once

#include <QString>
#include <memory>
#include <vector>

class VELSerialPort;

// What names a serial device across unplugging, rebooting and renumbering,
// so that Halodial finds the clock's port again: in order of preference
//   "by-id:<link>"                 its /dev/serial/by-id/ link,
//   "usb:<vendor>:<product>:<serial>" the USB ids and serial number udev has,
//   "virtual:<name>"               a pseudo-terminal playing a device, by its
//                                  name (vclock0), since its path changes,
//   "path:<path>"                  else the path itself.
// Reads udev's database; does not block beyond that and never opens the
// device. GUI thread or any.
class PortIdentity {
public:
    // Empty for a null port.
    static QString of(const std::shared_ptr<VELSerialPort>& port);
    // The first of `ports` with that identity, or null.
    static std::shared_ptr<VELSerialPort> findIn(const std::vector<std::shared_ptr<VELSerialPort>>& ports,
                                                 const QString& identity);
};
