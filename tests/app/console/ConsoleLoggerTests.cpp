// The console's log file: what a real port received from a pseudo-terminal,
// written byte for byte behind the window's back, also under a flood.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <thread>

#include "DevicePlayer.h"
#include "console/ConsoleLogger.h"
#include "desktop/QtMainQueue.h"
#include "support/UniqueFd.h"
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
        QSignalSpy opened(&logger, &ConsoleLogger::opened);
        logger.start(path);
        QCOMPARE(logger.path(), path);
        QVERIFY(opened.wait(kDeadlineMs));

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
        QTRY_COMPARE_WITH_TIMEOUT(delegate->received, total + 6, kDeadlineMs);
        const QByteArray logged = contentsOf(path);
        QCOMPARE(logged.size(), 8 + total);
        QVERIFY(logged == "earlier\nhello\r\n" + flood);

        port->close();
        QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);
    }

    void onlyARegularFileIsTakenAndNothingWaitsForIt()
    {
        QTemporaryDir dir;
        ConsoleLogger logger;
        QSignalSpy refused(&logger, &ConsoleLogger::refused);
        const std::uint8_t byte = 'x';

        logger.start(u"/nonexistent-dir/console.log"_qs);
        QVERIFY(refused.wait(kDeadlineMs));
        QVERIFY(!refused.takeFirst().at(0).toString().isEmpty());
        QVERIFY(!logger.isLogging());
        logger.write(std::span(&byte, 1));  // Not logging: taken and ignored.

        // A FIFO blocks an ordinary open until a reader comes, and one that
        // has a reader is no log file either.
        const QString fifo = dir.filePath(u"fifo"_qs);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        logger.start(fifo);
        QVERIFY(refused.wait(kDeadlineMs));
        QCOMPARE(refused.takeFirst().at(0).toString(), u"not a regular file"_qs);
        const vel::UniqueFd reader(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        QVERIFY(reader);
        logger.start(fifo);
        QVERIFY(refused.wait(kDeadlineMs));
        QCOMPARE(refused.takeFirst().at(0).toString(), u"not a regular file"_qs);
        QVERIFY(!logger.isLogging());

        // Nor is a link, which could point anywhere (another user's file,
        // when the folder is shared).
        const QString target = dir.filePath(u"target.log"_qs);
        const QString link = dir.filePath(u"link.log"_qs);
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(target, link));
        logger.start(link);
        QVERIFY(refused.wait(kDeadlineMs));
        QCOMPARE(refused.takeFirst().at(0).toString(), u"it is a symbolic link"_qs);

        // A new file is its owner's alone: the console may carry secrets.
        QSignalSpy opened(&logger, &ConsoleLogger::opened);
        const QString fresh = dir.filePath(u"fresh.log"_qs);
        logger.start(fresh);
        QVERIFY(opened.wait(kDeadlineMs));
        struct stat node {};
        QCOMPARE(::stat(QFile::encodeName(fresh).constData(), &node), 0);
        QCOMPARE(node.st_mode & 0777, 0600u);
        QCOMPARE(refused.size(), 0);
        logger.stop();
    }

    void aFailingDiskIsReported()
    {
        // A file size limit makes the file refuse writes past it, as a full
        // disk does: the failure is signalled, the bytes counted, and stop
        // still returns. The limit is this process's; it is lifted after.
        QTemporaryDir dir;
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 100;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        ConsoleLogger logger;
        QSignalSpy failed(&logger, &ConsoleLogger::failed);
        logger.start(dir.filePath(u"full.log"_qs));
        const QByteArray bytes(1000, 'x');
        logger.write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), 1000));
        const bool signalled = failed.wait(kDeadlineMs);
        logger.stop();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(signalled);
        QCOMPARE(logger.droppedByteCount(), std::uint64_t{900});
    }
};

QTEST_MAIN(ConsoleLoggerTests)
#include "ConsoleLoggerTests.moc"
