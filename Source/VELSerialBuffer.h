#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "support/Observable.h"

// A byte buffer of fixed maximum length that keeps the newest bytes: an
// append that overflows drops the oldest ones from the front. Observers of
// "internalBuffer" (and of "data", which follows it) are told of every append
// and every clear, empty appends included. Not thread-safe: a port uses each
// buffer only on its request-handling queue.
class VELSerialBuffer : public vel::Observable {
public:
    explicit VELSerialBuffer(std::uint64_t maximumLength);
    static VELSerialBuffer initWithMaximumLength(std::uint64_t maximumLength);

    // Plain construction is refused: raises "Use -[VELSerialBuffer initWithMaximumLength:]".
    [[noreturn]] static VELSerialBuffer init();

    void appendData(std::span<const std::uint8_t> data);
    void clearBuffer();

    // The contents, oldest byte first; a view that later changes show through.
    const std::vector<std::uint8_t>& data() const { return internalBuffer_; }
    std::uint64_t maximumLength() const { return maximumLength_; }

    const std::vector<std::uint8_t>& internalBuffer() const { return internalBuffer_; }
    void setInternalBuffer(std::vector<std::uint8_t> buffer);

private:
    std::uint64_t maximumLength_;
    std::vector<std::uint8_t> internalBuffer_;
};
