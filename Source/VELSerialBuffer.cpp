#include "VELSerialBuffer.h"

#include "support/Diagnostics.h"

namespace {
constexpr const char* kInternalBuffer = "internalBuffer";
}

VELSerialBuffer::VELSerialBuffer(std::uint64_t maximumLength) : maximumLength_(maximumLength)
{
    declareDependentKey("data", kInternalBuffer);
}

VELSerialBuffer VELSerialBuffer::initWithMaximumLength(std::uint64_t maximumLength)
{
    return VELSerialBuffer(maximumLength);
}

VELSerialBuffer VELSerialBuffer::init()
{
    vel::raise("Use -[VELSerialBuffer initWithMaximumLength:]");
}

void VELSerialBuffer::appendData(std::span<const std::uint8_t> data)
{
    willChangeValueForKey(kInternalBuffer);
    internalBuffer_.insert(internalBuffer_.end(), data.begin(), data.end());
    if (internalBuffer_.size() > maximumLength_) {
        const auto excess = internalBuffer_.size() - maximumLength_;
        internalBuffer_.erase(internalBuffer_.begin(), internalBuffer_.begin() + static_cast<std::ptrdiff_t>(excess));
    }
    didChangeValueForKey(kInternalBuffer);
}

void VELSerialBuffer::clearBuffer()
{
    setInternalBuffer({});
}

void VELSerialBuffer::setInternalBuffer(std::vector<std::uint8_t> buffer)
{
    willChangeValueForKey(kInternalBuffer);
    internalBuffer_ = std::move(buffer);
    didChangeValueForKey(kInternalBuffer);
}
