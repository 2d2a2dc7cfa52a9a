#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include "clock/ClockFrame.h"

// Cuts the byte stream the clock receives into frames and the rest.
//
// A frame is a lead ('/' time, '*' save) and, per tube, one UTF-8 character
// and six hex digits. Bytes arrive in any chunking. Line endings between
// frames are separators and vanish. Whatever is not a frame comes out as
// unparseable pieces of raw bytes: console text up to a line ending or the
// next lead, and a frame that broke its layout together with what follows
// it up to the next lead or line ending, where parsing picks up again.
//
// At most kMaxPieceBytes stay buffered; a longer run of text is cut into
// pieces of that size. A frame still incomplete stays buffered until it
// completes, breaks, or flush() gives up on it.
class ClockFrameParser : public QObject {
    Q_OBJECT

public:
    // The longest frame (every digit four bytes long) plus a small margin.
    static constexpr qsizetype kMaxFrameBytes = 1 + ClockFrame::kTubeCount * (4 + 6);
    static constexpr qsizetype kMaxPieceBytes = kMaxFrameBytes + 3;

    explicit ClockFrameParser(QObject* parent = nullptr);

    void feed(QByteArrayView bytes);
    // Reports whatever is buffered as unparseable: the sender went quiet in
    // the middle of something.
    void flush();

    qsizetype bufferedBytes() const { return pending_.size(); }

signals:
    void frameParsed(const ClockFrame& frame);
    void unparseable(const QByteArray& bytes);

private:
    enum class Expect { Digit, Continuation, Hex };

    void take(char byte);
    void takeText(char byte);
    // Whether the byte continues the frame, advancing through its layout.
    bool advanceFrame(unsigned char byte);
    bool acceptDigitStart(unsigned char byte);
    bool acceptContinuation(unsigned char byte);
    bool acceptHex(unsigned char byte);
    void startFrame(char lead);
    void finishFrame();
    void emitPending();

    QByteArray pending_;
    bool inFrame_ = false;
    Expect expect_ = Expect::Digit;
    int tube_ = 0;
    int remaining_ = 0;          // Continuation bytes or hex digits still due.
    unsigned char low_ = 0x80;   // Allowed range of the next continuation byte:
    unsigned char high_ = 0xBF;  // narrower after some leads, against overlongs and surrogates.
    qsizetype digitStart_ = 0;
    quint32 rgb_ = 0;
    ClockFrame frame_;
};
