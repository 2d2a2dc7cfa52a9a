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
#include "support/PseudoTerminal.h"
#include "ports/ReconnectWatcher.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "support/UniqueFd.h"
#include "virtualclock/VirtualClock.h"
#include "ui_MainWindow.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;
using State = SerialPortDemoController::PortState;

// The port under test is to be the only one to open the terminals here;
// closing a master hangs up on it.
constexpr auto kPortOnly = PseudoTerminal::Slave::Closed;

QString pathOf(const PseudoTerminal& terminal)
{
    return QString::fromStdString(terminal.path());
}

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

// A window run that opens `path`, syncs, and reconnects when it goes away.
ApplicationOptions syncingOn(const QString& path)
{
    ApplicationOptions options;
    options.portPath = path;
    options.open = true;
    options.sync = true;
    options.reconnects = true;
    return options;
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
        PseudoTerminal first(kPortOnly);
        QVERIFY(pointLink(link, pathOf(first)));

        Application application(*manager_);
        const ApplicationOptions options = syncingOn(link);
        QVERIFY(!application.start(options));
        SerialPortDemoController& controller = application.controller();
        QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Open, kDeadlineMs);
        QVERIFY(first.take(2 * 43).contains('/'));
        QPlainTextEdit& output = *application.window().ui().receivedDataTextView;
        QVERIFY(first.write("said before\n"));
        QTRY_VERIFY_WITH_TIMEOUT(output.toPlainText().contains(u"said before"_qs), kDeadlineMs);

        // The new terminal exists before the old one goes, so that the
        // system cannot hand the old number to it.
        PseudoTerminal second(kPortOnly);
        first.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Waiting, kDeadlineMs);
        QCOMPARE(application.window().statusLine()->text(), u"Waiting for %1 to come back\u2026"_qs.arg(link));
        QVERIFY(application.window().ui().openCloseButton->isEnabled());

        QVERIFY(pointLink(link, pathOf(second)));
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
        QCOMPARE(QString::fromStdString(controller.serialPort()->path()), pathOf(second));
        // What the device said before it went is still there to read.
        QVERIFY(output.toPlainText().contains(u"said before"_qs));
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
                const QString path = QString::fromStdString(terminal->path());
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

    void aTerminalNumberIsNotAwaitedAndATerminalInUseNotTakenOver()
    {
        {
            PseudoTerminal first(kPortOnly);
            const QString path = pathOf(first);
            Application application(*manager_);
            const ApplicationOptions options = syncingOn(path);
            QVERIFY(!application.start(options));
            SerialPortDemoController& controller = application.controller();
            QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Open, kDeadlineMs);
            QVERIFY(first.take(2 * 43).contains('/'));
            first.hangUp();
            QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Gone, kDeadlineMs);
            QVERIFY(!application.reconnectWatcher()->isWaiting());

            // The number goes to the next terminal made: hold every one up
            // to it, the last being the new terminal at the old path.
            const auto number = [](const QString& p) { return p.section(QLatin1Char('/'), -1).toInt(); };
            std::vector<std::unique_ptr<PseudoTerminal>> terminals;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    auto terminal = std::make_unique<PseudoTerminal>(kPortOnly);
                    const bool reached = pathOf(*terminal) == path;
                    if (number(pathOf(*terminal)) <= number(path)) {
                        terminals.push_back(std::move(terminal));
                    }
                    return reached;
                },
                kDeadlineMs));
            // Two looks of the watcher, and nothing may come of them.
            QTest::qWait(static_cast<int>(2 * ReconnectWatcher::pollInterval.count()) + 500);
            QCOMPARE(terminals.back()->takeAll(), QByteArray());
            QCOMPARE(controller.portState(), State::Gone);
        }
        {
            // Through a link, to a terminal that another process has open.
            QTemporaryDir dir;
            const QString link = dir.filePath(u"clock"_qs);
            PseudoTerminal first(kPortOnly);
            QVERIFY(pointLink(link, pathOf(first)));
            Application application(*manager_);
            const ApplicationOptions options = syncingOn(link);
            QVERIFY(!application.start(options));
            SerialPortDemoController& controller = application.controller();
            QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Open, kDeadlineMs);
            PseudoTerminal second(kPortOnly);
            QProcess holder;
            holder.setStandardInputFile(pathOf(second));
            holder.start(u"sleep"_qs, {u"60"_qs});
            QVERIFY(holder.waitForStarted());
            first.hangUp();
            QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Waiting, kDeadlineMs);
            QVERIFY(pointLink(link, pathOf(second)));
            QTest::qWait(static_cast<int>(2 * ReconnectWatcher::pollInterval.count()) + 500);
            QCOMPARE(controller.portState(), State::Waiting);
            QCOMPARE(second.takeAll(), QByteArray());
            // Once it is free, it is the clock's.
            holder.kill();
            QVERIFY(holder.waitForFinished());
            QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), State::Open, kDeadlineMs);
            QVERIFY(second.take(2 * 43).contains('/'));
        }
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

        PseudoTerminal terminal(kPortOnly);
        QVERIFY(pointLink(link, pathOf(terminal)));
        QVERIFY(terminal.take(2 * 43).contains('/'));
        run.terminate();
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
    }

    void headlessSaysThePortWentAwayBeforeItWaits()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(u"clock"_qs);
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CONFIG_HOME"_qs, dir.filePath(u"config"_qs));
        run.setProcessEnvironment(environment);
        {
            PseudoTerminal terminal(kPortOnly);
            QVERIFY(pointLink(link, pathOf(terminal)));
            run.start(QStringLiteral(HALODIAL_BINARY), {u"--headless"_qs, u"--port"_qs, link, u"--sync"_qs, u"--wait"_qs});
            QVERIFY(run.waitForStarted());
            QVERIFY(terminal.take(2 * 43).contains('/'));
        }
        // Hung up: what happened is said before what Halodial does about it.
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += run.readAllStandardError()).contains("Waiting for"), kDeadlineMs);
        QVERIFY2(errors.contains("went away") && errors.indexOf("went away") < errors.indexOf("Waiting for"),
                 errors.constData());
        QCOMPARE(run.state(), QProcess::Running);
        run.terminate();
        QVERIFY(run.waitForFinished(60000));
    }
};

QTEST_MAIN(ReconnectTests)
#include "ReconnectTests.moc"
