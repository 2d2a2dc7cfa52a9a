// The virtual clock: the frame parser on its own, then the clock behind a
// real pseudo-terminal driven through the library's port, and its window on
// the offscreen platform.
#include <poll.h>
#include <sys/ioctl.h>

#include <QApplication>
#include <QFile>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <memory>
#include <span>

#include "clock/ClockFrameParser.h"
#include "desktop/QtMainQueue.h"
#include "virtualclock/TubeDisplay.h"
#include "VELSerialPort.h"
#include "virtualclock/VirtualClock.h"
#include "virtualclock/VirtualClockWindow.h"
#include "devices/VirtualDeviceRegistry.h"

namespace {

// The master descriptor of this process whose slave is `slavePath`: the
// clock keeps its own to itself.
int masterOf(const QString& slavePath)
{
    const int wanted = slavePath.section(QLatin1Char('/'), -1).toInt();
    const QDir fds(u"/proc/self/fd"_qs);
    for (const QString& entry : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const int fd = entry.toInt();
        unsigned int number = 0;
        if (QFile::symLinkTarget(fds.filePath(entry)) == u"/dev/ptmx"_qs && ::ioctl(fd, TIOCGPTN, &number) == 0 &&
            static_cast<int>(number) == wanted) {
            return fd;
        }
    }
    return -1;
}

// No one has the slave open: the master reports a hang-up.
bool hungUp(int master)
{
    pollfd ready{master, 0, 0};
    return ::poll(&ready, 1, 0) > 0 && (ready.revents & POLLHUP);
}

constexpr int kDeadlineMs = 10000;

// 09:05:07: red, green, blue, white, #8040BF and an unlit tube.
const QByteArray kExampleFrame = "/0FF0000900FF0000000FF5FFFFFF08040BF7000000";
const QString kExampleSeen = "time 0FF0000 900FF00 00000FF 5FFFFFF 08040BF 7000000";
const QByteArray kSaveFrame = "*1FF00002FF00003FF00004FF00005FF00006FF0000";

QString describe(const ClockFrame& frame)
{
    QString text = frame.kind == ClockFrame::Kind::Save ? QStringLiteral("save") : QStringLiteral("time");
    for (int i = 0; i < ClockFrame::kTubeCount; ++i) {
        text += QLatin1Char(' ') + frame.digits[i] + frame.colours[i].name().mid(1).toUpper();
    }
    return text;
}

// Everything a parser reports, in order: frames described, unparseable
// pieces as "?" and their bytes.
struct Recorder {
    explicit Recorder(ClockFrameParser& parser)
    {
        QObject::connect(&parser, &ClockFrameParser::frameParsed, [this](const ClockFrame& f) { seen << describe(f); });
        QObject::connect(&parser, &ClockFrameParser::unparseable, [this](const QByteArray& bytes) {
            seen << QStringLiteral("?") + QString::fromLatin1(bytes.toPercentEncoding(" /*"));
            longestPiece = std::max(longestPiece, bytes.size());
        });
    }
    QStringList seen;
    qsizetype longestPiece = 0;
};

// Keeps what a port receives.
class Listener : public VELSerialPortDelegate {
public:
    Callbacks implementedCallbacks() const override { return {Callback::DidReceiveData}; }
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override {}
    void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>&, std::span<const std::uint8_t> data) override
    {
        received.append(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    }
    QByteArray received;
};

bool isListed(const QString& path)
{
    const auto listed = vel::VirtualDeviceRegistry::shared().enumerate();
    return std::any_of(listed.begin(), listed.end(), [&](const vel::DeviceHandle& device) {
        return device->property(vel::kIOCalloutDeviceKey) == path.toStdString();
    });
}

// A port open on the clock's device, its data collected by `listener`.
std::shared_ptr<VELSerialPort> openPort(const VirtualClock& clock, const std::shared_ptr<Listener>& listener)
{
    auto port = VELSerialPort::initWithPath(clock.devicePath().toStdString());
    if (port) {
        port->setDelegate(listener);
        port->open();
        if (!QTest::qWaitFor([&] { return port->isOpen(); }, kDeadlineMs)) {
            return nullptr;
        }
    }
    return port;
}

bool send(VELSerialPort& port, const QByteArray& bytes)
{
    return port.sendData(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

// How much of a tube, as the window shows it, is lit strongly in one hue.
double saturatedShare(QWidget& window, const QWidget& tube, int (*hue)(const QColor&))
{
    const QImage image = window.grab(QRect(tube.mapTo(&window, QPoint()), tube.size())).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += hue(image.pixelColor(x, y)) > 120 ? 1 : 0;
        }
    }
    return double(count) / (image.width() * image.height());
}

int redness(const QColor& c)
{
    return c.red() - std::max(c.green(), c.blue());
}

// Whether one of the window's labels shows exactly `text`.
bool showsText(const QWidget& window, const QString& text)
{
    const auto labels = window.findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) { return label->text() == text; });
}

int anyHue(const QColor& c)
{
    return std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()});
}

}  // namespace

class VirtualClockTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vel::MainQueue::setShared(std::make_shared<QtMainQueue>()); }

    // --- Parser -----------------------------------------------------------

    void parsesWhateverTheChunking_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("example") << kExampleFrame << QStringList{kExampleSeen};
        QTest::newRow("two frames, line endings between and after")
            << kExampleFrame + "\r\n" + kSaveFrame + "\r\n"
            << QStringList{kExampleSeen, "save 1FF0000 2FF0000 3FF0000 4FF0000 5FF0000 6FF0000"};
        QTest::newRow("non-ASCII digits, two to four bytes")
            << QByteArray("/\xC3\xA9" "000001\xE2\x82\xAC" "000002\xF0\x9F\x98\x80" "0000033000004" "4000005" "5000006")
            << QStringList{QString::fromUtf8("time \xC3\xA9" "000001 \xE2\x82\xAC" "000002 \xF0\x9F\x98\x80"
                                             "000003 3000004 4000005 5000006")};
        QTest::newRow("console text around frames")
            << "hello\r\n" + kExampleFrame + "\nabc" << QStringList{"?hello", kExampleSeen, "?abc"};
        QTest::newRow("non-hex, then resync at the next lead")
            << "/0FF00X0rest\r" + kExampleFrame << QStringList{"?/0FF00X0rest", kExampleSeen};
        QTest::newRow("frame cut short by the next lead")
            << "/0FF00009" + kExampleFrame << QStringList{"?/0FF00009", kExampleSeen};
        QTest::newRow("empty tube field: frame short by one")
            << QByteArray("/FF0000900FF0000000FF5FFFFFF08040BF7000000") + kExampleFrame
            << QStringList{"?/FF0000900FF0000000FF5FFFFFF08040BF7000000", kExampleSeen};
        QTest::newRow("invalid UTF-8: stray, overlong, surrogate")
            << QByteArray("/\x80" "FF0000\n/\xC0\x80" "FF0000\n/\xED\xA0\x80" "FF0000\n") + kExampleFrame
            << QStringList{"?/%80FF0000", "?/%C0%80FF0000", "?/%ED%A0%80FF0000", kExampleSeen};
        QTest::newRow("incomplete until flushed") << kExampleFrame.left(20) << QStringList{"?" + kExampleFrame.left(20)};
    }

    void parsesWhateverTheChunking()
    {
        QFETCH(QByteArray, input);
        QFETCH(QStringList, expected);
        for (const qsizetype chunk : {qsizetype(1), qsizetype(5), input.size()}) {
            ClockFrameParser parser;
            Recorder recorder(parser);
            for (qsizetype i = 0; i < input.size(); i += chunk) {
                parser.feed(QByteArrayView(input).sliced(i, std::min(chunk, input.size() - i)));
            }
            parser.flush();
            QCOMPARE(recorder.seen, expected);
            QCOMPARE(parser.bufferedBytes(), qsizetype(0));
        }
    }

    void garbageStaysBoundedAndParsingRecovers()
    {
        // Weighted towards bytes that matter to the layout.
        static const QByteArray alphabet = "/*\r\n0123456789ABCDEFaf G\x80\xBF\xC3\xE2\xF0\xFF";
        QRandomGenerator random(20240611);
        ClockFrameParser parser;
        Recorder recorder(parser);
        for (int round = 0; round < 2000; ++round) {
            QByteArray garbage(random.bounded(1, 200), Qt::Uninitialized);
            for (char& byte : garbage) {
                byte = random.bounded(3) == 0 ? char(random.bounded(256)) : alphabet[random.bounded(alphabet.size())];
            }
            parser.feed(garbage);
            QVERIFY(parser.bufferedBytes() <= ClockFrameParser::kMaxPieceBytes);
            parser.feed("\n" + kExampleFrame);
            QCOMPARE(recorder.seen.last(), kExampleSeen);
        }
        QVERIFY(recorder.longestPiece <= ClockFrameParser::kMaxPieceBytes);
    }

    // --- The clock on its device ------------------------------------------

    void showsFramesAndAnswersSaves()
    {
        VirtualClock clock;
        QVERIFY2(clock.isPluggedIn(), qPrintable(clock.errorString()));
        QVERIFY(clock.deviceName().startsWith(VirtualClock::kBaseName));
        QVERIFY(isListed(clock.devicePath()));
        VirtualClockWindow window(clock);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto listener = std::make_shared<Listener>();
        auto port = openPort(clock, listener);
        QVERIFY(port);

        QVERIFY(send(*port, kExampleFrame));
        QTRY_COMPARE_WITH_TIMEOUT(clock.timeFrameCount(), 1, kDeadlineMs);
        QCOMPARE(describe(clock.tubes()), kExampleSeen);
        QCOMPARE(window.tube(1)->digit(), "9");
        QCOMPARE(window.tube(4)->colour(), QColor(0x80, 0x40, 0xBF));

        QVERIFY(send(*port, kSaveFrame + "\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(listener->received, QByteArray("SAVED 123456\r\n"), kDeadlineMs);
        QCOMPARE(clock.saveFrameCount(), 1);
        QVERIFY(clock.lastFrameKind() == ClockFrame::Kind::Save);

        // Text without a line ending comes out once the sender goes quiet.
        QVERIFY(send(*port, "ok\\\x01\xC3\xA9\xFF"));
        QTRY_COMPARE_WITH_TIMEOUT(clock.lastUnparseable(), QByteArray("ok\\\x01\xC3\xA9\xFF"), kDeadlineMs);
        QVERIFY(showsText(window, QString::fromUtf8("“ok\\\\\\x01\xC3\xA9\\xFF”")));

        // Tube 1 glows red; tube 6 is black, unlit: no colour at all.
        QVERIFY(send(*port, kExampleFrame));
        QTRY_COMPARE_WITH_TIMEOUT(clock.timeFrameCount(), 2, kDeadlineMs);
        QVERIFY(window.grab().save(QDir::temp().filePath("halodial-virtual-clock.png")));
        QVERIFY(saturatedShare(window, *window.tube(0), redness) > 0.05);
        QCOMPARE(saturatedShare(window, *window.tube(5), anyHue), 0.0);

        QVERIFY(port->close());
        QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);
    }

    void survivesClosingUnplugsAndPlugsIn()
    {
        VirtualClock clock;
        VirtualClockWindow window(clock);
        auto* button = window.findChild<QPushButton*>("plugButton");
        QVERIFY(button);
        QCOMPARE(button->text(), "Unplug");
        auto listener = std::make_shared<Listener>();
        auto port = openPort(clock, listener);
        QVERIFY(port);

        // Closed and opened again: the clock keeps listening through the
        // hang-up in between.
        QVERIFY(port->close());
        QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);
        // Once the master shows the hang-up, one turn of the event loop lets
        // the clock meet it before the port comes back.
        const int master = masterOf(clock.devicePath());
        QVERIFY(master >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(hungUp(master), kDeadlineMs);
        QCoreApplication::processEvents();
        port->open();
        QTRY_VERIFY_WITH_TIMEOUT(port->isOpen(), kDeadlineMs);
        QVERIFY(send(*port, kExampleFrame));
        QTRY_COMPARE_WITH_TIMEOUT(clock.timeFrameCount(), 1, kDeadlineMs);

        const QString oldPath = clock.devicePath();
        const QString oldName = clock.deviceName();
        QSignalSpy plugged(&clock, &VirtualClock::pluggedInChanged);
        button->click();
        QVERIFY(!clock.isPluggedIn());
        QCOMPARE(plugged.size(), qsizetype(1));
        QCOMPARE(button->text(), "Plug in");
        QVERIFY(!isListed(oldPath));
        QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);

        button->click();
        QVERIFY(clock.isPluggedIn());
        QCOMPARE(button->text(), "Unplug");
        // Back under its old name, so that a port waiting for it finds it.
        QCOMPARE(clock.deviceName(), oldName);
        QVERIFY(isListed(clock.devicePath()));
        auto again = openPort(clock, listener);
        QVERIFY(again);
        QVERIFY(send(*again, kSaveFrame));
        QTRY_COMPARE_WITH_TIMEOUT(listener->received, QByteArray("SAVED 123456\r\n"), kDeadlineMs);
        QVERIFY(again->close());
        QTRY_VERIFY_WITH_TIMEOUT(!again->isOpen(), kDeadlineMs);
    }
};

QTEST_MAIN(VirtualClockTests)
#include "VirtualClockTests.moc"
