#pragma once

#include <memory>
#include <vector>
#include <cstdint>

class VELSerialPacketDescriptor;

// A request that a client queues on a port with sendRequest. At most one
// request per port is in flight; it ends when its response descriptor
// recognises a response, when its time-out expires, or at once when it
// expects no response.
//
// The port calls these methods on its request-handling queue (a background
// thread, one call at a time per port); sendRequest blocks its caller until
// that queue has taken the request. They must not block.
class VELSerialRequest {
public:
    virtual ~VELSerialRequest() = default;

    // The bytes to write; read once, when the request is sent.
    virtual std::vector<std::uint8_t> dataToSend() const = 0;

    // Seconds. Greater than 0 starts a time-out timer when the request is
    // sent; 0, negative or NaN starts none.
    virtual double timeoutInterval() const = 0;

    // What recognises the response, or null when none is expected.
    virtual std::shared_ptr<VELSerialPacketDescriptor> responseDescriptor() const = 0;

    // cancelQueuedRequest finds a waiting request by this equality.
    virtual bool isEqual(const VELSerialRequest& other) const = 0;
};
