#pragma once

#include <QString>
#include <string>

// How the port selector names a port: the port's name, made telling. A
// pseudo-terminal's bare number ("3") reads "pts/3 (pseudo-terminal)"; a
// real device adds its model, vendor and serial number from udev, so that
// two USB adapters of the same kind can be told apart. The port's own name
// does not change.
//
// Reads the device node and the udev database on the calling thread; never
// fails: what cannot be found is left out.
class PortLabel {
public:
    static QString of(const std::string& name, const std::string& path);
};
