#include "clock/ClockFrameParser.h"

#include <utility>

namespace {

constexpr char kTimeLead = ClockFrame::kTimeLead;
constexpr char kSaveLead = ClockFrame::kSaveLead;
constexpr int kHexDigitsPerColour = ClockFrame::kColourDigits;

bool isLead(unsigned char byte)
{
    return byte == kTimeLead || byte == kSaveLead;
}

bool isLineEnding(unsigned char byte)
{
    return byte == '\r' || byte == '\n';
}

int hexValue(unsigned char byte)
{
    if (byte >= '0' && byte <= '9') {
        return byte - '0';
    }
    if (byte >= 'A' && byte <= 'F') {
        return byte - 'A' + 10;
    }
    if (byte >= 'a' && byte <= 'f') {
        return byte - 'a' + 10;
    }
    return -1;
}

}  // namespace

ClockFrameParser::ClockFrameParser(QObject* parent) : QObject(parent) {}

void ClockFrameParser::feed(QByteArrayView bytes)
{
    for (char byte : bytes) {
        take(byte);
    }
}

void ClockFrameParser::flush()
{
    inFrame_ = false;
    emitPending();
}

void ClockFrameParser::take(char byte)
{
    if (inFrame_) {
        pending_.append(byte);
        if (advanceFrame(static_cast<unsigned char>(byte))) {
            if (tube_ == ClockFrame::kTubeCount) {
                finishFrame();
            }
            return;
        }
        // What came so far is no frame; it is reported together with what
        // follows, up to where the next frame can start.
        pending_.chop(1);
        inFrame_ = false;
    }
    takeText(byte);
}

void ClockFrameParser::takeText(char byte)
{
    const auto b = static_cast<unsigned char>(byte);
    if (isLead(b)) {
        emitPending();
        startFrame(byte);
        return;
    }
    if (isLineEnding(b)) {
        emitPending();
        return;
    }
    pending_.append(byte);
    if (pending_.size() >= kMaxPieceBytes) {
        emitPending();
    }
}

bool ClockFrameParser::advanceFrame(unsigned char byte)
{
    switch (expect_) {
    case Expect::Digit:
        return acceptDigitStart(byte);
    case Expect::Continuation:
        return acceptContinuation(byte);
    case Expect::Hex:
        return acceptHex(byte);
    }
    return false;
}

bool ClockFrameParser::acceptDigitStart(unsigned char byte)
{
    // Control characters cannot be typed into a tube; a lead here means the
    // frame was cut short and the next one starts.
    if (byte < 0x20 || byte == 0x7F || isLead(byte)) {
        return false;
    }
    digitStart_ = pending_.size() - 1;
    if (byte < 0x80) {
        frame_.digits[tube_] = QString(QChar(byte));
        expect_ = Expect::Hex;
        remaining_ = kHexDigitsPerColour;
        rgb_ = 0;
        return true;
    }
    // The ranges of well-formed UTF-8: no overlong forms, no surrogates,
    // nothing above U+10FFFF.
    low_ = 0x80;
    high_ = 0xBF;
    if (byte >= 0xC2 && byte <= 0xDF) {
        remaining_ = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        remaining_ = 2;
        if (byte == 0xE0) {
            low_ = 0xA0;
        } else if (byte == 0xED) {
            high_ = 0x9F;
        }
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        remaining_ = 3;
        if (byte == 0xF0) {
            low_ = 0x90;
        } else if (byte == 0xF4) {
            high_ = 0x8F;
        }
    } else {
        return false;
    }
    expect_ = Expect::Continuation;
    return true;
}

bool ClockFrameParser::acceptContinuation(unsigned char byte)
{
    if (byte < low_ || byte > high_) {
        return false;
    }
    low_ = 0x80;
    high_ = 0xBF;
    if (--remaining_ == 0) {
        frame_.digits[tube_] = QString::fromUtf8(pending_.sliced(digitStart_));
        expect_ = Expect::Hex;
        remaining_ = kHexDigitsPerColour;
        rgb_ = 0;
    }
    return true;
}

bool ClockFrameParser::acceptHex(unsigned char byte)
{
    const int value = hexValue(byte);
    if (value < 0) {
        return false;
    }
    rgb_ = (rgb_ << 4) | static_cast<quint32>(value);
    if (--remaining_ == 0) {
        frame_.colours[tube_] = QColor(int(rgb_ >> 16), int((rgb_ >> 8) & 0xFF), int(rgb_ & 0xFF));
        ++tube_;
        expect_ = Expect::Digit;
    }
    return true;
}

void ClockFrameParser::startFrame(char lead)
{
    pending_ = QByteArray(1, lead);
    inFrame_ = true;
    expect_ = Expect::Digit;
    tube_ = 0;
    frame_ = ClockFrame{};
    frame_.kind = lead == kSaveLead ? ClockFrame::Kind::Save : ClockFrame::Kind::Time;
}

void ClockFrameParser::finishFrame()
{
    // State first: a receiver may feed more bytes from within the signal.
    inFrame_ = false;
    pending_.clear();
    const ClockFrame frame = std::exchange(frame_, ClockFrame{});
    emit frameParsed(frame);
}

void ClockFrameParser::emitPending()
{
    if (!pending_.isEmpty()) {
        emit unparseable(std::exchange(pending_, QByteArray()));
    }
}
