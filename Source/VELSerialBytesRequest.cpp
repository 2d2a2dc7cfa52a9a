#include "VELSerialBytesRequest.h"

#include <cmath>

#include "VELSerialPacketDescriptor.h"

VELSerialBytesRequest::VELSerialBytesRequest(std::vector<std::uint8_t> dataToSend, double timeoutInterval,
                                             std::shared_ptr<VELSerialPacketDescriptor> responseDescriptor)
    : dataToSend_(std::move(dataToSend)),
      timeoutInterval_(timeoutInterval),
      responseDescriptor_(std::move(responseDescriptor))
{
}

bool VELSerialBytesRequest::isEqual(const VELSerialRequest& other) const
{
    const auto* that = dynamic_cast<const VELSerialBytesRequest*>(&other);
    if (that == nullptr) {
        return false;
    }
    // NaN means "no time-out" like any other non-positive value, so two NaN
    // time-outs count as the same.
    const bool sameTimeout = timeoutInterval_ == that->timeoutInterval_ ||
                             (std::isnan(timeoutInterval_) && std::isnan(that->timeoutInterval_));
    const bool sameResponse = responseDescriptor_ && that->responseDescriptor_
                                  ? responseDescriptor_->isEqual(*that->responseDescriptor_)
                                  : responseDescriptor_ == that->responseDescriptor_;
    return sameTimeout && sameResponse && dataToSend_ == that->dataToSend_;
}
