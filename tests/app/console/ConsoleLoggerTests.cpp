// The console's log file: what a real port received from a pseudo-terminal,
// written byte for byte behind the window's back, also under a flood.
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "DevicePlayer.h"
#include "console/ConsoleLogger.h"
#include "desktop/QtMainQueue.h"
#include "VELSerialPort.h"
#include "VELSerialPortDelegate.h"

namespace {

constexpr int kDeadlineMs = 20000;

// Hands what the port receives to the logger, as the window's controller
// does, and counts it.
class LoggingDelegate final : public VELSerialPortDelegate {
public:
    explicit LoggingDelegate(ConsoleLogger& logger) : logger_(logger) {}
    Callbacks implementedCallbacks() const override { return {Callback::DidReceiveData, Callback::WasOpened}; }
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override {}
    void serialPortWasOpened(const std::shared_ptr<VELSerialPort>&) override { opened = true; }
    void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>&, std::span<const std::uint8_t> data) override
    {
        logger_.write(data);
        received += static_cast<qsizetype>(data.size());
    }
    bool opened = false;
    qsizetype received = 0;

private:
    ConsoleLogger& logger_;
};

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class ConsoleLoggerTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vel::MainQueue::setShared(std::make_shared<QtMainQueue>()); }

    void logsByteForByteUnderAFloodAndStopsCleanly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"console.log"_qs);
        {
            QFile earlier(path);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier\n");
        }
        ConsoleLogger logger;
        QVERIFY(logger.start(path));
        QCOMPARE(logger.path(), path);

        DevicePlayer device;
        auto port = VELSerialPort::serialPortWithPath(device.path());
        QVERIFY(port);
        auto delegate = std::make_shared<LoggingDelegate>(logger);
        port->setDelegate(delegate);
        port->open();
        QTRY_VERIFY_WITH_TIMEOUT(delegate->opened, kDeadlineMs);

        // A first line reaches the file by itself, without a stop.
        QVERIFY(device.write("hello\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(contentsOf(path), QByteArray("earlier\nhello\r\n"), kDeadlineMs);

        // 5 MB of random bytes, every value, written on the master side
        // from a thread of its own while the event loop delivers them.
        QByteArray flood(5 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(1616);
        generator.fillRange(reinterpret_cast<quint32*>(flood.data()), flood.size() / 4);
        std::atomic<bool> written{false};
        std::thread writer([&] {
            const int fd = device.masterFd();
            qsizetype done = 0;
            while (done < flood.size()) {
                pollfd ready{fd, POLLOUT, 0};
                if (::poll(&ready, 1, 100) <= 0) {
                    continue;
                }
                const ssize_t n = ::write(fd, flood.constData() + done, static_cast<std::size_t>(flood.size() - done));
                done += n > 0 ? n : 0;
            }
            written = true;
        });
        const qsizetype total = 7 + flood.size();
        const bool arrived = QTest::qWaitFor([&] { return delegate->received >= total; }, 120000);
        writer.join();
        QVERIFY(arrived && written);
        QCOMPARE(delegate->received, total);

        // Stop returns once everything is in the file; nothing after it is.
        logger.stop();
        QVERIFY(!logger.isLogging());
        QCOMPARE(logger.droppedByteCount(), std::uint64_t{0});
        QVERIFY(device.write("after\n"));
        QTest::qWait(200);
        const QByteArray logged = contentsOf(path);
        QCOMPARE(logged.size(), 8 + total);
        QVERIFY(logged == "earlier\nhello\r\n" + flood);

        port->close();
        QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);
    }

    void aFileThatCannotBeOpenedSaysWhy()
    {
        ConsoleLogger logger;
        QVERIFY(!logger.start(u"/nonexistent-dir/console.log"_qs));
        QVERIFY(!logger.isLogging());
        QVERIFY(!logger.errorString().isEmpty());
        const std::uint8_t byte = 'x';
        logger.write(std::span(&byte, 1));  // Not logging: taken and ignored.
    }

    void aFailingDiskIsReported()
    {
        // /dev/full takes the open and refuses every write: the failure is
        // signalled and the bytes counted, and stop still returns.
        ConsoleLogger logger;
        QSignalSpy failed(&logger, &ConsoleLogger::failed);
        QVERIFY(logger.start(u"/dev/full"_qs));
        const QByteArray bytes(1000, 'x');
        logger.write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), 1000));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, kDeadlineMs);
        logger.stop();
        QCOMPARE(logger.droppedByteCount(), std::uint64_t{1000});
    }
};

QTEST_MAIN(ConsoleLoggerTests)
#include "ConsoleLoggerTests.moc"
