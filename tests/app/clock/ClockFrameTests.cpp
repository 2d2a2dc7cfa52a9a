// The frame protocol from both ends: what the encoder writes, the parser
// reads back as the same frame, whatever the digits, colours, lead or line
// ending, and however the bytes are cut.
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTest>
#include <vector>

#include "clock/ClockFrame.h"
#include "clock/ClockFrameParser.h"

class ClockFrameTests : public QObject {
    Q_OBJECT

private slots:
    void workedExampleGoesOutByteForByte()
    {
        ClockFrame frame;
        frame.digits = {"0", "9", "0", "5", "0", "7"};
        frame.colours = {QColor::fromRgbF(1, 0, 0), QColor::fromRgbF(0, 1, 0),         QColor::fromRgbF(0, 0, 1),
                         QColor::fromRgbF(1, 1, 1), QColor::fromRgbF(0.5, 0.25, 0.75), QColor::fromRgbF(0, 0, 0)};
        const QByteArray bytes = frame.text().toUtf8();
        QCOMPARE(bytes.size(), ClockFrame::kPlainLength);
        QCOMPARE(bytes, QByteArray::fromHex("2F30464630303030393030464630303030303030464635464646464646"
                                            "3038303430424637303030303030"));
        frame.kind = ClockFrame::Kind::Save;
        QCOMPARE(frame.text().toUtf8().at(0), '*');
    }

    void everyFrameTheEncoderMakesParsesBack()
    {
        // ASCII digits, a space, and characters of two, three and four UTF-8
        // bytes: the parser must take the same character the encoder wrote.
        const QStringList characters{"0", "5", "9", " ", "A", QString::fromUtf8("\u00e9"), QString::fromUtf8("\u20ac"),
                                     QString::fromUtf8("\U0001F600")};
        const QStringList endings{"", "\r", "\n", "\r\n"};
        QRandomGenerator random(20261208);
        std::vector<ClockFrame> sent;
        QByteArray stream;
        for (int n = 0; n < 400; ++n) {
            ClockFrame frame;
            frame.kind = n % 2 ? ClockFrame::Kind::Save : ClockFrame::Kind::Time;
            for (int i = 0; i < ClockFrame::kTubeCount; ++i) {
                frame.digits[i] = characters[random.bounded(characters.size())];
                frame.colours[i] = QColor(random.bounded(256), random.bounded(256), random.bounded(256));
            }
            sent.push_back(frame);
            stream += (frame.text() + endings[n % endings.size()]).toUtf8();
        }

        ClockFrameParser parser;
        std::vector<ClockFrame> parsed;
        QByteArrayList rest;
        connect(&parser, &ClockFrameParser::frameParsed, this, [&](const ClockFrame& frame) { parsed.push_back(frame); });
        connect(&parser, &ClockFrameParser::unparseable, this, [&](const QByteArray& bytes) { rest << bytes; });
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype piece = std::min<qsizetype>(1 + random.bounded(60), stream.size() - at);
            parser.feed(QByteArrayView(stream.constData() + at, piece));
            at += piece;
        }
        parser.flush();
        QVERIFY2(rest.isEmpty(), rest.value(0).constData());
        QCOMPARE(parsed.size(), sent.size());
        for (std::size_t i = 0; i < sent.size(); ++i) {
            QVERIFY2(parsed[i] == sent[i], qPrintable(sent[i].text()));
        }
    }
};

QTEST_GUILESS_MAIN(ClockFrameTests)
#include "ClockFrameTests.moc"
