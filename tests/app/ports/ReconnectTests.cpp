// Reconnecting on its own: a --port symlink whose terminal hangs up and is
// replaced, the virtual clock unplugged and plugged in while syncing, Close
// ending the waiting, and a headless --wait run whose port appears late.
// Real pseudo-terminals and the real virtual clock throughout.
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <climits>
#include <memory>
#include <optional>
#include <vector>

#include "Application.h"
#include "MainWindow.h"
#include "MasterReader.h"
#include "PseudoTerminal.h"
#include "ports/ReconnectWatcher.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "support/UniqueFd.h"
#include "virtualclock/VirtualClock.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kDeadlineMs = 10000;
using State = SerialPortDemoController::PortState;

// A pseudo-terminal the port under test is the only one to open; closing
// the master hangs up on it.
class HangablePty {
public:
    HangablePty()
    {
        int master = -1;
        int slave = -1;
        std::array<char, PATH_MAX> name{};
        if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        master_.reset(master);
        ::close(slave);
        path_ = QString::fromLocal8Bit(name.data());
        reader_.emplace(master);
    }

    const QString& path() const { return path_; }
    QByteArray take(qsizetype count) { return reader_->take(count); }
    void hangUp() { master_.reset(); }

private:
    vel::UniqueFd master_;
    QString path_;
    std::optional<MasterReader> reader_;
};

// Points `link` at `target`, replacing what it pointed at in one step.
bool pointLink(const QString& link, const QString& target)
{
    const QString fresh = link + u".new"_qs;
    QFile::remove(fresh);
    return QFile::link(target, fresh) && ::rename(QFile::encodeName(fresh), QFile::encodeName(link)) == 0;
}

bool startsWithTimeFrame(const QByteArray& bytes)
{
    return bytes.size() == 43 && bytes.startsWith('/');
}

}  // namespace

class ReconnectTests : public QObject {
    Q_OBJECT

private:
    VELSerialPortManager* manager_ = nullptr;

private slots:
    void initTestCase()
    {
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
    }

    void givenPathResumesOnTheTerminalItNamesNext()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(u"clock"_qs);
        HangablePty first;
        QVERIFY(pointLink(link, first.path()));

        Application application(*manager_);
        ApplicationOptions options;
        options.portPath = link;
        options.open = true;
        options.sync = true;
        options.reconnects = true;
        QVERIFY(!application.start(options));
        SerialPortDemoController& controller = application.controller();
        QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Open, kDeadlineMs);
        QVERIFY(first.take(2 * 43).contains('/'));

        // The new terminal exists before the old one goes, so that the
        // system cannot hand the old number to it.
        HangablePty second;
        first.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Waiting, kDeadlineMs);
        QCOMPARE(application.window().statusLine()->text(), u"Waiting for %1 to come back\u2026"_qs.arg(link));
        QVERIFY(application.window().ui().openCloseButton->isEnabled());

        QVERIFY(pointLink(link, second.path()));
        QElapsedTimer sinceRepointed;
        sinceRepointed.start();
        QByteArray frame = second.take(43);
        // The first bytes may be a frame cut by the opening; the next is whole.
        if (!startsWithTimeFrame(frame)) {
            frame = second.take(43);
        }
        QVERIFY2(frame.startsWith('/'), frame.constData());
        qInfo("frames resumed %lld ms after the link was pointed at the new terminal", sinceRepointed.elapsed());
        // Within a second's look and an opening; generous for a loaded machine.
        QVERIFY(sinceRepointed.elapsed() < 5000);
        QCOMPARE(controller.portState(), State::Open);
        QCOMPARE(QString::fromStdString(controller.serialPort()->path()), second.path());
    }

    void virtualClockPluggedInAgainResumesOnTheSameName()
    {
        Application application(*manager_);
        ApplicationOptions options;
        options.simulate = true;
        options.open = true;
        options.sync = true;
        options.reconnects = true;
        QVERIFY(!application.start(options));
        SerialPortDemoController& controller = application.controller();
        VirtualClock& clock = *application.virtualClock();
        const QString name = clock.deviceName();
        const QString firstPath = clock.devicePath();
        QTRY_VERIFY_WITH_TIMEOUT(clock.timeFrameCount() > 2, kDeadlineMs);

        clock.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Waiting, kDeadlineMs);
        QCOMPARE(application.window().statusLine()->text(), u"Waiting for %1 to come back\u2026"_qs.arg(name));
        // Hold the old path, so that the new device cannot get it. Terminal
        // numbers are handed out lowest first, and the old one is free only
        // once the port has let go of it: hold every number up to it.
        const auto number = [](const QString& path) { return path.section(QLatin1Char('/'), -1).toInt(); };
        std::vector<std::unique_ptr<PseudoTerminal>> placeholders;
        QVERIFY(QTest::qWaitFor(
            [&] {
                auto terminal = std::make_unique<PseudoTerminal>();
                const QString path = QString::fromStdString(terminal->slavePath());
                const bool reached = path == firstPath;
                if (number(path) <= number(firstPath)) {
                    placeholders.push_back(std::move(terminal));
                }
                return reached;
            },
            kDeadlineMs));
        QVERIFY(clock.plugIn());
        QCOMPARE(clock.deviceName(), name);
        const int before = clock.timeFrameCount();
        QTRY_VERIFY_WITH_TIMEOUT(clock.timeFrameCount() > before + 2, kDeadlineMs);
        QCOMPARE(controller.portState(), State::Open);
        QCOMPARE(QString::fromStdString(controller.serialPort()->name()), name);
        // Found by its name: the path is another one.
        QVERIFY(clock.devicePath() != firstPath);

        // Close while waiting ends the waiting: the clock's return is ignored.
        clock.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Waiting, kDeadlineMs);
        QPushButton* close = application.window().ui().openCloseButton;
        QCOMPARE(close->text(), u"Close"_qs);
        close->click();
        QCOMPARE(controller.portState(), State::Gone);
        QVERIFY(!application.reconnectWatcher()->isWaiting());
        QVERIFY(clock.plugIn());
        QTest::qWait(static_cast<int>(2 * ReconnectWatcher::pollInterval.count()));
        QVERIFY(!controller.serialPort());
        QCOMPARE(controller.portState(), State::Gone);
    }

    void headlessWaitOutlastsAnAbsentPort()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(u"clock"_qs);
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_qs, dir.filePath(u"config"_qs));
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral(HALODIAL_BINARY), {u"--headless"_qs, u"--port"_qs, link, u"--sync"_qs, u"--wait"_qs});
        QVERIFY(run.waitForStarted());
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += run.readAllStandardError()).contains("Waiting for"), kDeadlineMs);
        QCOMPARE(run.state(), QProcess::Running);

        PseudoTerminal terminal;
        QVERIFY(pointLink(link, QString::fromStdString(terminal.slavePath())));
        QVERIFY(terminal.take(2 * 43).contains('/'));
        run.terminate();
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
    }
};

QTEST_MAIN(ReconnectTests)
#include "ReconnectTests.moc"
