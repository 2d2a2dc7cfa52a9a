// What the console shows of received bytes: text or hex dump, with or
// without arrival times, drawn again losslessly when the user switches; copy
// in hex view and search in the real view on the offscreen platform.
#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QTest>
#include <QTextBlock>
#include <span>

#include "console/ConsoleRenderer.h"
#include "console/ConsoleSearch.h"
#include "console/ConsoleView.h"
#include "console/HexDump.h"
#include "console/LineTimestamper.h"
#include "console/ReceivedChunks.h"

namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

// A local time of day as milliseconds since the epoch, today.
qint64 at(int h, int m, int s, int ms)
{
    return QDateTime(QDate::currentDate(), QTime(h, m, s, ms)).toMSecsSinceEpoch();
}

// Every byte that the hex rows of `dump` show, read back as a user would
// read them: through a whole selection of the view and its hex copy.
QString bytesShownAsHex(const QString& dump)
{
    ConsoleView view;
    view.setPlainText(dump);
    view.setHexView(true);
    view.selectAll();
    return view.selectedBytesAsHex();
}

}  // namespace

class ConsoleViewTests : public QObject {
    Q_OBJECT

private slots:
    void hexViewShowsExactlyTheBytesReceived()
    {
        // Not UTF-8, split characters, a CR LF split across reads, all 256
        // values, and chunks that do not fill their last row.
        QByteArray all;
        for (int b = 0; b < 256; ++b) {
            all += static_cast<char>(b);
        }
        const QByteArrayList chunks{"caf\xC3", "\xA9\r", "\n\xFF\xFE", all, "\xF0\x9F\x98", "\x80" "end"};
        ConsoleRenderer renderer;
        renderer.setView(ConsoleRenderer::View::Hex);
        QString shown;
        QByteArray sent;
        for (const QByteArray& chunk : chunks) {
            shown += renderer.append(bytesOf(chunk), 0);
            sent += chunk;
        }
        QCOMPARE(bytesShownAsHex(shown), HexDump::hexText(sent));
        // The layout of one row: offset in the stream, two groups, ASCII.
        const QStringList rows = shown.split(QLatin1Char('\n'));
        QCOMPARE(rows.at(0), u"00000000  63 61 66 C3                                      |caf.|"_qs);
        QCOMPARE(rows.at(3).left(HexDump::asciiBarColumn),
                 u"00000009  00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F "_qs);
        QCOMPARE(rows.at(5).mid(HexDump::asciiBarColumn), u"| !\"#$%&'()*+,-./|"_qs);

        // Redrawn, as after a toggle, the dump is the same.
        QCOMPARE(renderer.redraw(10000), shown);
    }

    void togglingBackShowsTheSameText()
    {
        ConsoleRenderer renderer;
        renderer.setShowsTimestamps(true);
        const QByteArrayList chunks{"first li", "ne\r", "\nbad \xC3", "\xA9\xFF\n", "last"};
        QString text;
        qint64 time = at(9, 0, 0, 0);
        for (const QByteArray& chunk : chunks) {
            text += renderer.append(bytesOf(chunk), time += 1000);
        }
        renderer.setView(ConsoleRenderer::View::Hex);
        const QString hex = renderer.redraw(10000);
        QVERIFY(hex != text);
        QCOMPARE(hex.count(u"[09:00:0"_qs), chunks.size());  // One time per chunk in hex.
        renderer.setView(ConsoleRenderer::View::Text);
        QCOMPARE(renderer.redraw(10000), text);
        // And further chunks continue the text as if nothing had happened.
        QCOMPARE(renderer.append(bytesOf(" line\n"), time), u" line\n"_qs);
    }

    // A flood is drawn a piece per event-loop turn: pieces that split
    // characters, lines and hex rows must add up to what one go draws, with
    // each chunk's time once; bytes the record dropped before they were drawn
    // are skipped, not drawn from freed memory.
    void drawingInPiecesEqualsDrawingAtOnce()
    {
        QByteArray big;
        for (int i = 0; big.size() < 5000; ++i) {
            big += "line " + QByteArray::number(i) + " caf\xC3\xA9 \xF0\x9F\x98\x80\r\n";
        }
        const QByteArrayList chunks{big.left(1999), big.mid(1999), "tail \xC3", "\xA9"};
        for (const auto view : {ConsoleRenderer::View::Text, ConsoleRenderer::View::Hex}) {
            ConsoleRenderer atOnce;
            ConsoleRenderer inPieces;
            QString expected;
            QString drawn;
            for (ConsoleRenderer* renderer : {&atOnce, &inPieces}) {
                renderer->setView(view);
                renderer->setShowsTimestamps(true);
            }
            qint64 time = at(9, 0, 0, 0);
            for (const QByteArray& chunk : chunks) {
                expected += atOnce.append(bytesOf(chunk), time += 1000);
                inPieces.store(bytesOf(chunk), time);
            }
            while (inPieces.hasPending()) {
                drawn += inPieces.renderPending(333);
            }
            QCOMPARE(drawn, expected);
        }

        ConsoleRenderer late;
        const QByteArray flood(ReceivedChunks::maximumBytes, 'a');
        late.store(bytesOf("lost"), 0);
        late.store(bytesOf(flood), 0);
        late.store(bytesOf("end"), 0);
        QString text;
        while (late.hasPending()) {
            text += late.renderPending(1 << 20);
        }
        QCOMPARE(text.size(), ReceivedChunks::maximumBytes);
        QVERIFY(text.endsWith(u"aend"_qs));
    }

    void timestampsStartEachLineOnce_data()
    {
        QTest::addColumn<QStringList>("chunks");
        QTest::addColumn<QString>("stamped");
        // Chunk i arrives at 10:00:0i.000.
        QTest::newRow("one line in three chunks")
            << QStringList{u"he"_qs, u"ll"_qs, u"o\n"_qs} << u"[10:00:00.000] hello\n"_qs;
        QTest::newRow("break ends a chunk: next line has its own time")
            << QStringList{u"a\n"_qs, u"b\nc"_qs, u"\n"_qs}
            << u"[10:00:00.000] a\n[10:00:01.000] b\n[10:00:01.000] c\n"_qs;
        QTest::newRow("empty lines are lines") << QStringList{u"\n\n"_qs} << u"[10:00:00.000] \n[10:00:00.000] \n"_qs;
    }

    void timestampsStartEachLineOnce()
    {
        QFETCH(QStringList, chunks);
        QFETCH(QString, stamped);
        LineTimestamper stamper;
        QString text;
        for (int i = 0; i < chunks.size(); ++i) {
            text += stamper.stamp(chunks.at(i), QTime(10, 0, i));
        }
        QCOMPARE(text, stamped);
    }

    void recordKeepsTheNewestBytesWithinItsBounds()
    {
        ReceivedChunks record;
        const QByteArray big(ReceivedChunks::maximumBytes / 2 + 1, 'x');
        record.append(bytesOf(big), 1);
        record.append(bytesOf(big), 2);
        record.append(bytesOf("tail"), 3);
        QCOMPARE(record.byteCount(), ReceivedChunks::maximumBytes);
        // The first chunk lost its head and keeps its time; offsets go on.
        QCOMPARE(record.chunkCount(), std::size_t{3});
        QCOMPARE(record.chunk(0).msecsSinceEpoch, qint64{1});
        QCOMPARE(record.chunk(0).offset + record.chunk(0).bytes.size(), record.chunk(1).offset);
        QCOMPARE(record.chunk(2).offset, std::uint64_t(2 * big.size()));
        const auto last = record.chunk(2).bytes;
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(last.data()), qsizetype(last.size())), "tail");

        // A chunk bigger than the bound keeps its newest bytes.
        const QByteArray huge = QByteArray(ReceivedChunks::maximumBytes, 'a') + "zz";
        record.append(bytesOf(huge), 4);
        QCOMPARE(record.chunkCount(), std::size_t{1});
        QCOMPARE(record.chunk(0).bytes.back(), std::uint8_t('z'));
        QCOMPARE(record.chunk(0).offset, std::uint64_t(2 * big.size() + 4 + 2));
    }

    void copyInHexViewGivesTheSelectedBytes()
    {
        ConsoleRenderer renderer;
        renderer.setView(ConsoleRenderer::View::Hex);
        renderer.setShowsTimestamps(true);
        ConsoleView view;
        view.setHexView(true);
        view.setPlainText(renderer.append(bytesOf("ABCDEFGHIJKLMNOPQR"), 0));
        // From the middle of the first row's "43" to the middle of the
        // second row's "51": the timestamp line gives nothing.
        QTextCursor cursor(view.document());
        cursor.setPosition(view.document()->findBlockByNumber(1).position() + HexDump::firstHexColumn + 7);
        cursor.setPosition(view.document()->findBlockByNumber(2).position() + HexDump::firstHexColumn + 1,
                           QTextCursor::KeepAnchor);
        view.setTextCursor(cursor);
        view.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51"_qs);
        view.setHexView(false);
        view.copy();
        QVERIFY(QGuiApplication::clipboard()->text().endsWith(u"  5"_qs));
    }

    void searchFindsForwardAndBackAndWraps()
    {
        ConsoleView view;
        view.setPlainText(u"alpha\nbeta ALPHA\ngamma alpha\n"_qs);
        const auto findAt = [&](ConsoleSearch::Direction direction) {
            return ConsoleSearch::find(view, u"alpha"_qs, direction) ? view.textCursor().selectionStart() : -1;
        };
        using D = ConsoleSearch::Direction;
        QCOMPARE(findAt(D::Forward), 0);
        QCOMPARE(findAt(D::Forward), 11);
        QCOMPARE(findAt(D::Forward), 23);
        QCOMPARE(findAt(D::Forward), 0);  // round the end
        QCOMPARE(findAt(D::Backward), 23);  // and back round the start
        QCOMPARE(findAt(D::Backward), 11);
        QVERIFY(!ConsoleSearch::find(view, u"delta"_qs, D::Forward));
        QCOMPARE(view.textCursor().selectionStart(), 11);
    }
};

QTEST_MAIN(ConsoleViewTests)
#include "ConsoleViewTests.moc"
