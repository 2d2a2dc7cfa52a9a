#pragma once

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>

#include "support/PosixError.h"

class VELSerialPort;
class VELSerialRequest;
class VELSerialPacketDescriptor;

// Receives what a port has to say. Every callback runs on the main thread,
// except during the process's exit, when the exit clean-up tells of the
// removal and the close on the exiting thread (there is no main loop left).
//
// Which callbacks a delegate implements: a delegate overrides the callbacks
// it wants and lists them in implementedCallbacks(). The port calls only the
// listed ones and behaves as though the others did not exist; in particular
// a port whose delegate does not list WasClosed keeps its queued requests
// across a close. serialPortWasRemovedFromSystem is required and always
// called.
//
// Delivery: DidReceiveData is called in place by the main loop's read of the
// device, with the port's own memory (valid for the call only), and before
// the request layer sees those bytes: for every chunk it comes before the
// DidReceivePacket and DidReceiveResponse callbacks that the chunk's bytes
// complete. WasOpened, DidReceivePacket, DidReceiveResponse and
// RequestDidTimeout are queued on the main queue; WasRemovedFromSystem and
// WasClosed make the thread that reports them (the global queue's, the
// modem-line watch's) wait until the callback has returned;
// DidEncounterError runs at once on the main thread, or is queued (waiting
// or not, as the failing step chooses) from elsewhere. A callback that
// blocks holds up reading and writing of every port.
//
// The port holds its delegate by std::weak_ptr: a delegate that has gone
// receives nothing.
class VELSerialPortDelegate {
public:
    enum class Callback : unsigned {
        WasRemovedFromSystem,
        DidReceiveData,
        DidEncounterError,
        WasOpened,
        WasClosed,
        DidReceivePacketMatchingDescriptor,
        DidReceiveResponseToRequest,
        RequestDidTimeout,
        Count
    };

    class Callbacks {
    public:
        constexpr Callbacks() = default;
        Callbacks(std::initializer_list<Callback> callbacks)
        {
            for (Callback c : callbacks) {
                bits_.set(static_cast<unsigned>(c));
            }
        }
        bool contains(Callback c) const { return bits_.test(static_cast<unsigned>(c)); }

    private:
        std::bitset<static_cast<unsigned>(Callback::Count)> bits_;
    };

    virtual ~VELSerialPortDelegate() = default;

    // The optional callbacks this delegate implements.
    virtual Callbacks implementedCallbacks() const = 0;

    // Whether the port calls `callback` on this delegate.
    bool respondsTo(Callback callback) const
    {
        return callback == Callback::WasRemovedFromSystem || implementedCallbacks().contains(callback);
    }

    // Required: the device has gone. Heard once per opening (once for a port
    // that is not open), whichever part noticed the removal first; the port
    // closes after this returns, so serialPortWasClosed follows it.
    virtual void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>& port) = 0;

    // The bytes of one read, at most 64 KiB. The memory is the port's and
    // is reused once the call returns: copy what must be kept.
    virtual void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>& port,
                                          std::span<const std::uint8_t> data);
    virtual void serialPortDidEncounterError(const std::shared_ptr<VELSerialPort>& port,
                                             const vel::PosixError& error);
    virtual void serialPortWasOpened(const std::shared_ptr<VELSerialPort>& port);
    virtual void serialPortWasClosed(const std::shared_ptr<VELSerialPort>& port);
    virtual void serialPortDidReceivePacketMatchingDescriptor(
        const std::shared_ptr<VELSerialPort>& port, std::span<const std::uint8_t> packet,
        const std::shared_ptr<VELSerialPacketDescriptor>& descriptor);
    virtual void serialPortDidReceiveResponseToRequest(const std::shared_ptr<VELSerialPort>& port,
                                                       std::span<const std::uint8_t> response,
                                                       const std::shared_ptr<VELSerialRequest>& request);
    virtual void serialPortRequestDidTimeout(const std::shared_ptr<VELSerialPort>& port,
                                             const std::shared_ptr<VELSerialRequest>& request);
};
