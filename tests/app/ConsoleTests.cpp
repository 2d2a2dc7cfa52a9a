// The controller's side of the link, in the real window on the offscreen
// platform: choosing, opening and losing a port, the console's send line,
// and what the device sends, decoded and kept within bounds.
#include <poll.h>
#include <sys/file.h>

#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "console/ConsoleDecoder.h"
#include "console/ConsoleScrollback.h"
#include "DevicePlayer.h"
#include "MainWindow.h"
#include "desktop/QtMainQueue.h"
#include "SerialPortDemoController.h"
#include "support/UniqueFd.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kDeadlineMs = 10000;

}  // namespace

class ConsoleTests : public QObject {
    Q_OBJECT

private:
    VELSerialPortManager* manager_ = nullptr;
    std::unique_ptr<SerialPortDemoController> controller_;
    std::unique_ptr<MainWindow> window_;

    Ui::MainWindow& ui() { return window_->ui(); }
    QString title() { return ui().openCloseButton->text(); }
    QPlainTextEdit& view() { return *ui().receivedDataTextView; }

    // The device's port once the manager lists it. Waiting for the listing
    // also lets the manager finish with the devices of earlier tests, whose
    // pseudo-terminal paths the system hands out again.
    std::shared_ptr<VELSerialPort> listedPort(const DevicePlayer& device)
    {
        std::shared_ptr<VELSerialPort> listed;
        (void)QTest::qWaitFor(
            [&] {
                for (const auto& port : manager_->availablePorts()) {
                    if (port->name() == device.name()) {
                        listed = port;
                    }
                }
                return listed != nullptr;
            },
            kDeadlineMs);
        return listed;
    }

    // The device's port, chosen as the controller's and opened with the
    // window's button.
    std::shared_ptr<VELSerialPort> openThroughTheWindow(const DevicePlayer& device)
    {
        auto port = listedPort(device);
        if (!port) {
            return nullptr;
        }
        controller_->setSerialPort(port);
        ui().openCloseButton->click();
        if (!QTest::qWaitFor([&] { return title() == QLatin1String("Close"); }, kDeadlineMs)) {
            return nullptr;
        }
        return port;
    }

    static void closeAndWait(const std::shared_ptr<VELSerialPort>& port)
    {
        if (port) {
            port->close();
            QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);
        }
    }

private slots:
    void initTestCase()
    {
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
    }

    void init()
    {
        controller_ = std::make_unique<SerialPortDemoController>(manager_);
        window_ = std::make_unique<MainWindow>();
        window_->connectController(*controller_, *manager_);
    }

    void cleanup()
    {
        {
            const auto port = controller_->serialPort();
            window_.reset();
            controller_.reset();
            closeAndWait(port);
        }
        QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone());
    }

    void decoderShowsEveryByteReceived_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");  // An empty chunk: reset.
        QTest::addColumn<QString>("shown");
        QTest::newRow("two-byte character split") << QByteArrayList{"caf\xC3", "\xA9!"} << u"café!"_qs;
        QTest::newRow("four bytes over three chunks")
            << QByteArrayList{"\xF0\x9F", "\x98", "\x80"} << QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("invalid byte keeps the rest") << QByteArrayList{"a\xFF" "b"} << u"a\\xFFb"_qs;
        QTest::newRow("broken sequence, byte by byte") << QByteArrayList{"\xE2\x82" "A"} << u"\\xE2\\x82A"_qs;
        QTest::newRow("broken in the next chunk") << QByteArrayList{"\xE2\x82", "A"} << u"\\xE2\\x82A"_qs;
        QTest::newRow("stray continuation") << QByteArrayList{"\x80x"} << u"\\x80x"_qs;
        QTest::newRow("overlong") << QByteArrayList{"\xC0\xAF"} << u"\\xC0\\xAF"_qs;
        QTest::newRow("surrogate") << QByteArrayList{"\xED\xA0\x80"} << u"\\xED\\xA0\\x80"_qs;
        QTest::newRow("beyond U+10FFFF") << QByteArrayList{"\xF4\x90\x80\x80"} << u"\\xF4\\x90\\x80\\x80"_qs;
        QTest::newRow("line breaks, CR LF split") << QByteArrayList{"a\r", "\nb\rc\n\n"} << u"a\nb\nc\n\n"_qs;
        QTest::newRow("control characters show as pictures")
            << QByteArrayList{QByteArray("a\x00" "b\x1B[1m\x7F\tc", 10)} << QString::fromUtf8("a\u2400b\u241B[1m\u2421\tc");
        QTest::newRow("reset forgets the carry") << QByteArrayList{"x\xC3", "", "\xA9"} << u"x\\xA9"_qs;
    }

    void decoderShowsEveryByteReceived()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QString, shown);
        ConsoleDecoder decoder;
        QString text;
        for (const QByteArray& chunk : chunks) {
            if (chunk.isEmpty()) {
                decoder.reset();
                continue;
            }
            text += decoder.decode(std::span(reinterpret_cast<const std::uint8_t*>(chunk.constData()),
                                             static_cast<std::size_t>(chunk.size())));
        }
        QCOMPARE(text, shown);
        QCOMPARE(decoder.pendingByteCount(), std::size_t{0});
    }

    void receivedTextReachesTheViewWhole()
    {
        DevicePlayer device;
        const auto port = openThroughTheWindow(device);
        QVERIFY(port);
        // The second write after the first has been read: two reads, the
        // character split.
        QVERIFY(device.write("caf\xC3"));
        QTRY_COMPARE_WITH_TIMEOUT(controller_->console().renderer().received().byteCount(), qsizetype{4},
                                  kDeadlineMs);
        QVERIFY(device.write("\xA9 \xFF ok\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(view().toPlainText(), u"café \\xFF ok\n"_qs, kDeadlineMs);
    }

    void sendLineGoesOutAsTypedWithTheChosenEnding()
    {
        DevicePlayer device;
        QVERIFY(openThroughTheWindow(device));
        ui().lineEndingPopUpButton->setCurrentIndex(2);
        struct Case {
            QString typed;
            bool addEnding;
            QByteArray wire;
        };
        const Case cases[] = {
            {u"abc"_qs, true, "abc\r\n"},  {u"abc\n"_qs, true, "abc\n"}, {u"abc\r"_qs, true, "abc\r\r\n"},
            {u"abc"_qs, false, "abc"},     {u""_qs, false, ""},          {u"é"_qs, false, "\xC3\xA9"},
            // Pasted, past QLineEdit's default bound of 32,767 characters.
            {QString(40000, u'p'), false, QByteArray(40000, 'p')},
        };
        QByteArray expected;
        for (const Case& c : cases) {
            ui().addLineEndingCheckBox->setChecked(c.addEnding);
            QCOMPARE(controller_->shouldAddLineEnding(), c.addEnding);
            ui().sendTextField->setText(c.typed);
            ui().send1->click();
            QCOMPARE(ui().sendTextField->text(), c.typed);
            expected += c.wire;
        }
        // All in one, up to a last byte: an empty line that sent anything
        // would show here.
        ui().sendTextField->setText(u"Z"_qs);
        ui().send1->click();
        QCOMPARE(device.take(expected.size() + 1), expected + 'Z');
    }

    void openingClearsTheViewEvenWhenItFails()
    {
        DevicePlayer device;
        const auto port = listedPort(device);
        QVERIFY(port);
        controller_->setSerialPort(port);
        // Someone else holds the device: the open fails.
        const vel::UniqueFd holder(::open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        QVERIFY(holder.get() >= 0);
        QCOMPARE(::flock(holder.get(), LOCK_EX | LOCK_NB), 0);

        view().setPlainText(u"old text"_qs);
        ui().openCloseButton->click();
        QVERIFY(view().toPlainText().isEmpty());
        QCOMPARE(view().maximumBlockCount(), ConsoleScrollback::maximumLines);
        QVERIFY(!view().document()->isUndoRedoEnabled());
        QVERIFY(!port->isOpen());
        QCOMPARE(title(), u"Open"_qs);
    }

    void storingAPortClosesTheOldOneAndRetitles()
    {
        DevicePlayer first;
        DevicePlayer second;
        const auto a = openThroughTheWindow(first);
        QVERIFY(a);

        // The same port again: closed, and still reporting to the controller.
        controller_->setSerialPort(a);
        QTRY_VERIFY_WITH_TIMEOUT(!a->isOpen(), kDeadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"Open"_qs, kDeadlineMs);
        QVERIFY(a->delegate().lock());

        // Away from an open port to a closed one: the title tells the new
        // port's state at once, the old port closes and is let go.
        ui().openCloseButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"Close"_qs, kDeadlineMs);
        const auto b = listedPort(second);
        QVERIFY(b);
        controller_->setSerialPort(b);
        QCOMPARE(title(), u"Open"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(!a->isOpen(), kDeadlineMs);
        QVERIFY(!a->delegate().lock());
        QVERIFY(b->delegate().lock());

        // To a port that is already open: "Close", whatever the old one says.
        a->open();
        QTRY_VERIFY_WITH_TIMEOUT(a->isOpen(), kDeadlineMs);
        controller_->setSerialPort(a);
        QCOMPARE(title(), u"Close"_qs);
        QTest::qWait(200);
        QCOMPARE(title(), u"Close"_qs);
    }

    void unpluggingTheOpenPortDropsIt()
    {
        DevicePlayer device;
        const auto port = openThroughTheWindow(device);
        QVERIFY(port);
        device.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!controller_->serialPort(), kDeadlineMs);
        QCOMPARE(title(), u"Open"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);
        QCOMPARE(ui().portPopUpButton->currentIndex(), -1);
    }

    void longLineLeavesTheTimeSyncRunning()
    {
        DevicePlayer device;
        QVERIFY(openThroughTheWindow(device));
        controller_->senddate();
        // 1 MB without a line break, while the frames are counted at the
        // device; the strict figures are the benchmark's.
        std::atomic<bool> written{false};
        const int fd = device.masterFd();
        std::thread writer([&] {
            const QByteArray line(1024 * 1024, 'q');
            qsizetype done = 0;
            const QDeadlineTimer deadline(60000);
            while (done < line.size() && !deadline.hasExpired()) {
                pollfd ready{fd, POLLOUT, 0};
                if (::poll(&ready, 1, 100) > 0) {
                    const ssize_t n = ::write(fd, line.constData() + done, static_cast<std::size_t>(line.size() - done));
                    done += n > 0 ? n : 0;
                }
            }
            written = done == line.size();
        });
        QElapsedTimer clock;
        clock.start();
        qint64 lastFrame = 0;
        qint64 longestGap = 0;
        int frames = 0;
        const auto shown = [&] {
            const QTextDocument& document = *view().document();
            return written && controller_ && document.characterCount() > 1024 * 1024;
        };
        const QDeadlineTimer deadline(120000);
        while (!(shown() && frames > 5) && !deadline.hasExpired()) {
            QTest::qWait(5);
            const QByteArray arrived = device.takeAvailable();
            if (arrived.contains('/')) {
                const qint64 now = clock.elapsed();
                longestGap = std::max(longestGap, now - lastFrame);
                lastFrame = now;
                frames += static_cast<int>(arrived.count('/'));
            }
        }
        writer.join();
        controller_->stop();
        QVERIFY(written);
        QVERIFY2(shown(), qPrintable(QString::number(view().document()->characterCount())));
        // A stalled window stops the frames for as long as the line takes
        // (81 s before the view was sliced); under the sanitizers on two
        // busy cores a sound window still shows gaps of half a second.
        QVERIFY2(longestGap <= 1500, qPrintable(QString::number(longestGap)));
        // The line is in blocks of the bound, not one paragraph.
        QVERIFY(view().document()->blockCount() >= 1024 * 1024 / ConsoleScrollback::maximumLineLength);
    }

    void floodStaysWithinTheScrollbackBound()
    {
        DevicePlayer device;
        QVERIFY(openThroughTheWindow(device));
        // 20 MB in short lines, which meet the line bound first, then 3 MB
        // without a line break, which meets the character bound.
        constexpr int lineCount = 20 * 1024 * 1024 / 64;
        const auto line = [](int n) {
            return QByteArray::number(n).rightJustified(8, '0') + ' ' + QByteArray(54, 'a' + n % 26) + '\n';
        };
        std::atomic<bool> stop{false};
        std::atomic<bool> writerDone{false};
        std::atomic<bool> linesShown{false};
        const int fd = device.masterFd();
        std::thread writer([&] {
            QByteArray block;
            const auto send = [&](const QByteArray& bytes) {
                qsizetype written = 0;
                while (written < bytes.size() && !stop) {
                    pollfd ready{fd, POLLOUT, 0};
                    if (::poll(&ready, 1, 100) <= 0) {
                        continue;
                    }
                    const ssize_t n = ::write(fd, bytes.constData() + written,
                                              static_cast<std::size_t>(bytes.size() - written));
                    written += n > 0 ? n : 0;
                }
            };
            for (int n = 0; n < lineCount && !stop; ++n) {
                block += line(n);
                if (block.size() >= 64 * 1024) {
                    send(std::exchange(block, QByteArray()));
                }
            }
            send(block);
            // Once the short lines are in the view (the newest of them fill
            // it to the line bound, however many were dropped unseen), the
            // line without breaks.
            while (!linesShown && !stop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            send(QByteArray(3 * 1024 * 1024, 'z') + "\nEND\n");
            writerDone = true;
        });
        const QTextDocument& document = *view().document();
        int mostLines = 0;
        int mostCharacters = 0;
        const QString lastLine = QString::fromLatin1(line(lineCount - 1).trimmed());
        const auto shownEnd = [&] {
            if (!linesShown && document.lastBlock().previous().text() == lastLine) {
                linesShown = true;
            }
            mostLines = std::max(mostLines, document.blockCount());
            mostCharacters = std::max(mostCharacters, document.characterCount() - 1);
            return document.lastBlock().previous().text() == QLatin1String("END");
        };
        QElapsedTimer elapsed;
        elapsed.start();
        // Short waits: a wait for a condition may run the view's slices
        // back to back and look at the document only once they are done.
        const QDeadlineTimer deadline(240000);
        bool finished = false;
        while (!(finished = shownEnd()) && !deadline.hasExpired()) {
            QTest::qWait(5);
        }
        stop = true;
        writer.join();
        qInfo("flood shown in %lld ms", static_cast<long long>(elapsed.elapsed()));
        QVERIFY(finished && writerDone);

        QVERIFY2(mostLines <= ConsoleScrollback::maximumLines, qPrintable(QString::number(mostLines)));
        QVERIFY2(mostCharacters <= ConsoleScrollback::maximumCharacters, qPrintable(QString::number(mostCharacters)));
        QCOMPARE(mostLines, ConsoleScrollback::maximumLines);
        // What stays is the newest text, the line without breaks cut into
        // blocks of the line bound.
        QTextBlock block = document.lastBlock().previous().previous();
        const QString lastPiece = block.text();
        QVERIFY(lastPiece == QString(lastPiece.size(), u'z'));
        QVERIFY(lastPiece.size() > 0 && lastPiece.size() <= ConsoleScrollback::maximumLineLength);
        for (int i = 0; i < 100 && block.previous().isValid(); ++i) {
            block = block.previous();
            QCOMPARE(block.text(), QString(ConsoleScrollback::maximumLineLength, u'z'));
        }
        // And the view follows it.
        const QScrollBar& scrollBar = *view().verticalScrollBar();
        QVERIFY(scrollBar.maximum() > 0);
        QCOMPARE(scrollBar.value(), scrollBar.maximum());
    }
};

QTEST_MAIN(ConsoleTests)
#include "ConsoleTests.moc"
