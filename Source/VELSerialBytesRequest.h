#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "VELSerialRequest.h"

// A request of fixed bytes, with an optional time-out and an optional
// descriptor of its response: enough for command-and-answer protocols. It is
// immutable, so one object may be sent again. Two requests are equal when
// they send the same bytes with the same time-out and expect equal responses
// (or none); cancelQueuedRequest relies on that.
class VELSerialBytesRequest : public VELSerialRequest {
public:
    // A time-out of 0 or less waits for the response without limit.
    VELSerialBytesRequest(std::vector<std::uint8_t> dataToSend, double timeoutInterval,
                          std::shared_ptr<VELSerialPacketDescriptor> responseDescriptor = nullptr);

    std::vector<std::uint8_t> dataToSend() const override { return dataToSend_; }
    double timeoutInterval() const override { return timeoutInterval_; }
    std::shared_ptr<VELSerialPacketDescriptor> responseDescriptor() const override { return responseDescriptor_; }
    bool isEqual(const VELSerialRequest& other) const override;

private:
    const std::vector<std::uint8_t> dataToSend_;
    const double timeoutInterval_;
    const std::shared_ptr<VELSerialPacketDescriptor> responseDescriptor_;
};
