#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Observable.h"

class VELSerialPort;

// Notification names and user-info keys of the port manager's two
// notifications on vel::NotificationCenter::defaultCenter(). The names say
// "PortWas" where the constants say "PortsWere"; observe through the
// constants. The user info maps the key to a
// std::vector<std::shared_ptr<VELSerialPort>>, possibly empty; the sender is
// the manager.
extern const char* const VELSerialPortsWereConnectedNotification;     // "VELSerialPortWasConnectedNotification"
extern const char* const VELSerialPortsWereDisconnectedNotification;  // "VELSerialPortWasDisconnectedNotification"
extern const char* const VELConnectedSerialPortsKey;                  // "VELConnectedSerialPortsKey"
extern const char* const VELDisconnectedSerialPortsKey;               // "VELDisconnectedSerialPortsKey"

// The process-wide list of the serial ports present on the machine. Created
// on the first sharedSerialPortManager call, on the main thread; it
// enumerates the udev registry and the virtual one, follows arrivals and
// removals on the main queue, and at process exit cleans up every port it
// lists.
//
// availablePorts is observable with index-level notices: arrivals are
// appended (ChangeKind::Insertion), removals say which indexes left
// (ChangeKind::Removal).
class VELSerialPortManager : public vel::Observable {
public:
    static VELSerialPortManager& sharedSerialPortManager();

    // There is never a second manager: copying yields the shared one.
    VELSerialPortManager(const VELSerialPortManager&) = delete;
    VELSerialPortManager& operator=(const VELSerialPortManager&) = delete;

    std::vector<std::shared_ptr<VELSerialPort>> availablePorts() const;
    std::size_t countOfAvailablePorts() const;
    std::shared_ptr<VELSerialPort> objectInAvailablePortsAtIndex(std::size_t index) const;

    // Closes the open ports and remembers them; wake reopens them in order.
    void systemWillSleep();
    void systemDidWake();

private:
    VELSerialPortManager();
    ~VELSerialPortManager() override;
};
