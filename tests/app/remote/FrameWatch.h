#pragma once

#include <QTest>
#include <functional>
#include <optional>

#include "clock/ClockFrameParser.h"
#include "support/PseudoTerminal.h"

// The frames a port writes to a test's pseudo-terminal, parsed as the clock
// would: waits for the first frame that satisfies a condition.
class FrameWatch {
public:
    static constexpr int deadlineMs = 10000;

    explicit FrameWatch(test::PseudoTerminal& terminal) : terminal_(terminal)
    {
        QObject::connect(&parser_, &ClockFrameParser::frameParsed, [this](const ClockFrame& frame) {
            if (!found_ && wanted_ && wanted_(frame)) {
                found_ = frame;
            }
        });
    }

    // The first frame from now on that `wanted` accepts; none within the
    // deadline.
    std::optional<ClockFrame> next(std::function<bool(const ClockFrame&)> wanted, int deadline = deadlineMs)
    {
        found_.reset();
        wanted_ = std::move(wanted);
        // The frame found, if any, is the answer.
        (void)QTest::qWaitFor(
            [this] {
                parser_.feed(terminal_.takeAll());
                return found_.has_value();
            },
            deadline);
        wanted_ = nullptr;
        return found_;
    }

    // Forgets what arrived so far.
    void skip() { parser_.feed(terminal_.takeAll()); }

    static bool allColoured(const ClockFrame& frame, QRgb rgb)
    {
        for (const QColor& colour : frame.colours) {
            if ((colour.rgb() & 0xFFFFFFu) != rgb) {
                return false;
            }
        }
        return true;
    }

private:
    test::PseudoTerminal& terminal_;
    ClockFrameParser parser_;
    std::function<bool(const ClockFrame&)> wanted_;
    std::optional<ClockFrame> found_;
};
