// What Halodial remembers: the window's choices survive a restart (a private
// XDG_CONFIG_HOME, the real settings file), --reset-settings forgets them,
// and --colors on a headless run reaches the wire and is kept for the next.
#include <sys/stat.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "Application.h"
#include "ColorWell.h"
#include "DevicePlayer.h"
#include "CommandLine.h"
#include "MainWindow.h"
#include "support/PseudoTerminal.h"
#include "SerialPortDemoController.h"
#include "clock/SyncGrid.h"
#include "settings/SettingsStore.h"
#include "settings/TubeSettings.h"
#include "virtualclock/VirtualClock.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "ui_MainWindow.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;

ApplicationOptions remembering()
{
    ApplicationOptions options;
    options.remembersSettings = true;
    return options;
}

// The user's way: click the well, pick in its dialog.
void pick(ColorWell* well, const QColor& colour)
{
    well->click();
    QTRY_VERIFY_WITH_TIMEOUT(well->dialog(), kDeadlineMs);
    well->dialog()->setCurrentColor(colour);
    well->dialog()->accept();
}

// The six colours of the first whole time frame ("/" then digit and RRGGBB
// per tube) among `bytes`; empty when there is none.
QStringList frameColours(const QByteArray& bytes)
{
    const qsizetype start = bytes.indexOf('/');
    if (start < 0 || bytes.size() - start < 43) {
        return {};
    }
    QStringList colours;
    for (int tube = 0; tube < 6; ++tube) {
        colours << QString::fromLatin1(bytes.mid(start + 2 + 7 * tube, 6));
    }
    return colours;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `contents` as the settings file under `configHome`.
bool writeSettings(const QString& configHome, const QByteArray& contents)
{
    QDir().mkpath(configHome + u"/Halodial"_qs);
    QFile file(configHome + u"/Halodial/halodial.conf"_qs);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

}  // namespace

class SettingsTests : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_;
    VELSerialPortManager* manager_ = nullptr;

    QString settingsFile() const { return config_.filePath(u"Halodial/halodial.conf"_qs); }

    struct HeadlessRun {
        QStringList colours;
        QString errors;
        int exitCode = -1;
    };

    // A headless run on the terminal with its own settings folder: the
    // colours of the time frames it sends, after which it is ended, and
    // what it said on standard error.
    HeadlessRun headlessRun(const QString& configHome, const QStringList& extra)
    {
        PseudoTerminal terminal(PseudoTerminal::Slave::Closed);
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral(HALODIAL_BINARY),
                  QStringList{u"--headless"_qs, u"--port"_qs, QString::fromStdString(terminal.path()), u"--sync"_qs} + extra);
        HeadlessRun result;
        if (run.waitForStarted()) {
            // Two frames: the first may be cut by the port's opening.
            const QByteArray bytes = terminal.take(2 * 43);
            result.colours = frameColours(bytes.mid(bytes.indexOf('/', 1)));
        }
        run.terminate();
        run.waitForFinished(60000);
        result.errors = QString::fromLocal8Bit(run.readAllStandardError());
        result.exitCode = run.exitCode();
        return result;
    }

    QStringList headlessFrameColours(const QString& configHome, const QStringList& extra)
    {
        const HeadlessRun run = headlessRun(configHome, extra);
        if (run.exitCode != 0) {
            qWarning() << run.errors;
            return {};
        }
        return run.colours;
    }

private slots:
    void initTestCase()
    {
        // Before the first QSettings: Qt reads the folder once.
        QVERIFY(config_.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
        QCoreApplication::setOrganizationName(QString::fromLatin1(SettingsStore::organisationName));
        QCoreApplication::setApplicationName(QString::fromLatin1(SettingsStore::applicationName));
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
    }

    void windowChoicesSurviveARestart()
    {
        const QColor picked(0x12, 0x34, 0x56);
        QColor untouched;
        {
            Application application(*manager_);
            QVERIFY(!application.start(remembering()));
            Ui::MainWindow& ui = application.window().ui();
            untouched = ui.col4->color();
            pick(ui.col3, picked);
            ui.lineEndingPopUpButton->setCurrentIndex(ui.lineEndingPopUpButton->findData(2));
            ui.addLineEndingCheckBox->click();
            // Each choice is written as it is made, not only at the end.
            QTRY_VERIFY_WITH_TIMEOUT(contentsOf(settingsFile()).contains("add=true") &&
                                         contentsOf(settingsFile()).contains("tube3g="),
                                     kDeadlineMs);
        }
        // Where the user is told it is, under the record's attribute names.
        const QString file = settingsFile();
        QVERIFY(QFile::exists(file));
        QSettings raw(file, QSettings::IniFormat);
        raw.beginGroup(u"TubeSettings"_qs);
        QCOMPARE(raw.childKeys().size(), 18);
        QCOMPARE(qRound(raw.value(u"tube3g"_qs).toFloat() * 255), 0x34);

        {
            Application application(*manager_);
            QVERIFY(!application.start(remembering()));
            Ui::MainWindow& ui = application.window().ui();
            QCOMPARE(ui.col3->color(), picked);
            QCOMPARE(ui.tube3->palette().color(QPalette::Text), picked);
            QCOMPARE(ui.col4->color(), untouched);
            QCOMPARE(ui.lineEndingPopUpButton->currentData().toInt(), 2);
            QVERIFY(ui.addLineEndingCheckBox->isChecked());
            QCOMPARE(application.controller().lineEndingString(), u"\r\n"_qs);
        }
        {
            ApplicationOptions options = remembering();
            options.resetSettings = true;
            Application application(*manager_);
            QVERIFY(!application.start(options));
            Ui::MainWindow& ui = application.window().ui();
            QCOMPARE(ui.col3->color(), MainWindow().ui().col3->color());
            QVERIFY(!ui.addLineEndingCheckBox->isChecked());
        }
    }

    void aRunningSyncComesBackOnTheSamePort()
    {
        DevicePlayer device("settingsdev");
        const auto listed = [this, &device] {
            for (const auto& port : manager_->availablePorts()) {
                if (port->path() == device.path()) {
                    return true;
                }
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(), kDeadlineMs);
        {
            Application application(*manager_);
            QVERIFY(!application.start(remembering()));
            SerialPortDemoController& controller = application.controller();
            controller.setSerialPort(VELSerialPort::initWithPath(device.path()));
            controller.openOrClosePort();
            QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), SerialPortDemoController::PortState::Open, kDeadlineMs);
            controller.senddate();
            QVERIFY(device.take(43).startsWith('/'));
        }
        device.takeAvailable();
        {
            // No port on the command line: the last one, open and syncing.
            Application application(*manager_);
            QVERIFY(!application.start(remembering()));
            QCOMPARE(QString::fromStdString(application.controller().serialPort()->name()),
                     QString::fromStdString(device.name()));
            QVERIFY(device.take(2 * 43).contains('/'));
            application.controller().stop();
        }
        device.takeAvailable();
        {
            // Stopped when it quit: chosen again, but nothing is sent.
            Application application(*manager_);
            QVERIFY(!application.start(remembering()));
            QVERIFY(application.controller().serialPort());
            QCOMPARE(application.controller().portState(), SerialPortDemoController::PortState::Closed);
            // Several ticks' worth; only a frame proves something.
            QTest::qWait(3 * int(std::chrono::duration_cast<std::chrono::milliseconds>(SyncGrid::period).count()));
            QVERIFY(device.takeAvailable().isEmpty());
        }
    }

    void aPortPathIsKeptAsGivenAndASimulatedSyncGoesOn()
    {
        // socat's link=: the link is what the user gave; its target, a
        // /dev/pts/N, means nothing in the next run.
        PseudoTerminal terminal;
        DevicePlayer::watch(terminal.path());
        QTemporaryDir links;
        const QString link = links.filePath(u"ttyClock"_qs);
        QVERIFY(QFile::link(QString::fromStdString(terminal.path()), link));
        {
            Application application(*manager_);
            ApplicationOptions options = remembering();
            options.portPath = link;
            QVERIFY(!application.start(options));
            QVERIFY(application.controller().serialPort());
        }
        {
            const auto port = SettingsStore().port();
            QVERIFY(port);
            QCOMPARE(port->path, link);
            Application application(*manager_);
            QVERIFY(!application.start(remembering()));
            const auto chosen = application.controller().serialPort();
            QVERIFY(chosen);
            QCOMPARE(chosen->path(), terminal.path());
        }
        QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone());

        // The virtual clock's sync, running when the last run ended, goes on.
        {
            Application application(*manager_);
            ApplicationOptions options = remembering();
            options.simulate = true;
            options.open = true;
            options.sync = true;
            QVERIFY(!application.start(options));
            DevicePlayer::watch(application.virtualClock()->devicePath().toStdString());
            QVERIFY(application.controller().timer()->isActive());
        }
        QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone());
        Application application(*manager_);
        ApplicationOptions options = remembering();
        options.simulate = true;
        QVERIFY(!application.start(options));
        DevicePlayer::watch(application.virtualClock()->devicePath().toStdString());
        QVERIFY(application.controller().timer()->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(application.controller().portState(), SerialPortDemoController::PortState::Open,
                                  kDeadlineMs);
        application.controller().stop();
    }

    void coloursReadFromTheCommandLine()
    {
        bool oneForAll = false;
        const auto one = CommandLine::parseColours(u"#112233"_qs, &oneForAll);
        QVERIFY(one && oneForAll);
        QCOMPARE((*one)[5], QColor(0x11, 0x22, 0x33));
        const auto six = CommandLine::parseColours(u"010203,040506,070809,0a0b0c,0D0E0F,101112"_qs, &oneForAll);
        QVERIFY(six && !oneForAll);
        QCOMPARE((*six)[0], QColor(1, 2, 3));
        QCOMPARE((*six)[4], QColor(13, 14, 15));
        for (const QString& bad : {u"12345"_qs, u"1122334"_qs, u"11223g"_qs, u"112233,445566"_qs, QString()}) {
            QVERIFY2(!CommandLine::parseColours(bad), qPrintable(bad));
        }
        // Every tube's record round-trips the eight-bit values.
        const auto record = TubeSettings::fromColours(*six);
        QCOMPARE(record.colours(), *six);
    }

    void headlessColoursAreSentAndKept()
    {
        QTemporaryDir home;
        const QStringList expected(6, u"112233"_qs);
        QCOMPARE(headlessFrameColours(home.path(), {u"--colors"_qs, u"112233"_qs}), expected);
        QCOMPARE(headlessFrameColours(home.path(), {}), expected);
        // Six, in tube order; the option spelt either way.
        const QStringList six{u"A00001"_qs, u"A00002"_qs, u"A00003"_qs, u"A00004"_qs, u"A00005"_qs, u"A00006"_qs};
        QCOMPARE(headlessFrameColours(home.path(), {u"--colours"_qs, six.join(u',')}), six);
    }

    void aSettingsFileThatCannotBeReadIsSaidOnceAndTheDefaultsServe()
    {
        const QStringList defaults = [this] {
            QTemporaryDir fresh;
            return headlessRun(fresh.path(), {}).colours;
        }();
        QCOMPARE(defaults.size(), 6);
        {
            // A FIFO would hold up the start for ever, waiting for a writer.
            QTemporaryDir home;
            QVERIFY(QDir().mkpath(home.filePath(u"Halodial"_qs)));
            const QString fifo = home.filePath(u"Halodial/halodial.conf"_qs);
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            const HeadlessRun run = headlessRun(home.path(), {u"--colors"_qs, u"112233"_qs});
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(run.colours, QStringList(6, u"112233"_qs));
            QCOMPARE(run.errors.count(u"halodial: "_qs), 1);
            QVERIFY2(run.errors.contains("cannot read the settings in " + fifo + ": not a regular file"),
                     qPrintable(run.errors));
        }
        {
            // Cut short in a section's name: QSettings cannot parse it.
            QTemporaryDir home;
            QVERIFY(writeSettings(home.path(), "[TubeSettings]\ntube1r=0.5\n[Line"));
            const HeadlessRun run = headlessRun(home.path(), {});
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(run.colours, defaults);
            QCOMPARE(run.errors.count(u"halodial: "_qs), 1);
            QVERIFY2(run.errors.contains(u"cannot read the settings in"_qs), qPrintable(run.errors));
            QVERIFY(!run.errors.contains(u"cannot write"_qs));
            QVERIFY(QFile::exists(home.filePath(u"Halodial/halodial.conf.broken"_qs)));
            // The next run reads what this one wrote.
            QVERIFY(contentsOf(home.filePath(u"Halodial/halodial.conf"_qs)).contains("[TubeSettings]"));
        }
    }

    void aHeadlessRunWithoutItsSavedPortEndsWithStatus1()
    {
        QTemporaryDir home;
        QVERIFY(writeSettings(home.path(), "[Port]\nidentity=path:/dev/ttyHALODIAL9\nname=ttyHALODIAL9\n"
                                           "path=/dev/ttyHALODIAL9\n"));
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral(HALODIAL_BINARY), {u"--headless"_qs});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 1);
        const QString errors = QString::fromLocal8Bit(run.readAllStandardError());
        QVERIFY2(errors.contains(u"halodial: No device at /dev/ttyHALODIAL9 (unplugged?)"_qs), qPrintable(errors));
    }
};

QTEST_MAIN(SettingsTests)
#include "SettingsTests.moc"
