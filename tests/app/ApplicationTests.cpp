// The application as a whole on the offscreen platform: its window and how it
// follows the port list, the stored-settings record, the end-to-end run with
// the virtual clock, and the command line of the real binary.
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#include "Application.h"
#include "ColorWell.h"
#include "DevicePlayer.h"
#include "clock/HalodialColor.h"
#include "MainWindow.h"
#include "ports/PortListModel.h"
#include "ports/PortSelector.h"
#include "support/PseudoTerminal.h"
#include "desktop/QtMainQueue.h"
#include "SerialPortDemoController.h"
#include "settings/TubeSettings.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "virtualclock/VirtualClock.h"
#include "virtualclock/VirtualClockWindow.h"
#include "ui_MainWindow.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;

QStringList namesOf(const PortListModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) {
        names << model.data(model.index(row)).toString();
    }
    return names;
}

QStringList namesOf(const VELSerialPortManager::Ports& ports)
{
    QStringList names;
    for (const auto& port : ports) {
        names << QString::fromStdString(port->name());
    }
    return names;
}

// Seconds from `a` to `b` the short way round midnight.
int secondsBetween(const QTime& a, const QTime& b)
{
    const int difference = std::abs(a.secsTo(b));
    return std::min(difference, 86400 - difference);
}

}  // namespace

class ApplicationTests : public QObject {
    Q_OBJECT

private:
    VELSerialPortManager* manager_ = nullptr;

    struct Run {
        int exitCode = -1;
        QString output;
        QString errors;
    };

    static Run runBinary(const QStringList& arguments, const QProcessEnvironment& environment)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(HALODIAL_BINARY), arguments);
        Run run;
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit) {
            run.exitCode = process.exitCode();
        }
        run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
        run.errors = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }

private slots:
    void initTestCase()
    {
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void cleanup() { QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone()); }

    void tubeSettingsIsTheEntitysRecord()
    {
        const QStringList order{u"tube1r"_qs, u"tube1g"_qs, u"tube1b"_qs, u"tube6b"_qs, u"tube6g"_qs, u"tube6r"_qs,
                                u"tube5b"_qs, u"tube5g"_qs, u"tube5r"_qs, u"tube4b"_qs, u"tube4g"_qs, u"tube4r"_qs,
                                u"tube3b"_qs, u"tube3g"_qs, u"tube3r"_qs, u"tube2b"_qs, u"tube2g"_qs, u"tube2r"_qs};
        QCOMPARE(TubeSettings::attributeNames(), order);
        QCOMPARE(TubeSettings::entityName(), u"TubeSettings"_qs);
        QCOMPARE(TubeSettings::fetchRequest().entityName, u"TubeSettings"_qs);

        // Each name reaches its own field.
        TubeSettings settings;
        for (int i = 0; i < order.size(); ++i) {
            QVERIFY(settings.setValue(order[i], 0.5f + static_cast<float>(i)));
        }
        for (int i = 0; i < order.size(); ++i) {
            QCOMPARE(settings.value(order[i]), std::optional<float>(0.5f + static_cast<float>(i)));
        }
        QCOMPARE(settings.tube1r, 0.5f);
        QCOMPARE(settings.tube6b, 3.5f);
        QCOMPARE(settings.tube2r, 17.5f);
        QVERIFY(!settings.setValue(u"tube7r"_qs, 1));
        QVERIFY(!settings.value(u"Tube1r"_qs));
    }

    void portSelectorFollowsTheListAndKeepsItsPort()
    {
        PortListModel model(*manager_);
        QCOMPARE(namesOf(model), namesOf(manager_->availablePorts()));
        SerialPortDemoController controller(manager_);
        QComboBox combo;
        PortSelector selector(combo, model, controller);
        QSignalSpy stored(&controller, &SerialPortDemoController::serialPortChanged);

        auto a = std::make_unique<DevicePlayer>("lista");
        DevicePlayer b("listb");
        QTRY_VERIFY_WITH_TIMEOUT(namesOf(model).contains(QString::fromStdString(b.name())), kDeadlineMs);
        QCOMPARE(namesOf(model), namesOf(manager_->availablePorts()));
        // Rows came, but the controller has no port: nothing is selected.
        QCOMPARE(combo.currentIndex(), -1);
        const int rowOfB = namesOf(model).indexOf(QString::fromStdString(b.name()));
        QCOMPARE(model.data(model.index(rowOfB), Qt::ToolTipRole).toString(), QString::fromStdString(b.path()));

        // The user's choice is stored; choosing it again stores nothing, as
        // storing it again would close it.
        combo.setCurrentIndex(rowOfB);
        emit combo.activated(rowOfB);
        const auto portB = controller.serialPort();
        QVERIFY(portB);
        QCOMPARE(portB->name(), b.name());
        emit combo.activated(rowOfB);
        QCOMPARE(stored.count(), 1);

        // Ports before it come and go: the selection stays on the same port.
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        a.reset();
        QTRY_COMPARE_WITH_TIMEOUT(removed.count(), 1, kDeadlineMs);
        QCOMPARE(namesOf(model), namesOf(manager_->availablePorts()));
        QCOMPARE(combo.currentIndex(), model.rowOf(portB));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        DevicePlayer c("listc");
        QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 1, kDeadlineMs);
        QCOMPARE(namesOf(model), namesOf(manager_->availablePorts()));
        QCOMPARE(combo.currentText(), QString::fromStdString(b.name()));
        QCOMPARE(controller.serialPort(), portB);
        QCOMPARE(stored.count(), 1);

        // A terminal that is not listed shows by name; no port, as nothing.
        PseudoTerminal unlisted;
        DevicePlayer::watch(unlisted.path());
        const auto elsewhere = VELSerialPort::initWithPath(unlisted.path());
        QVERIFY(elsewhere);
        controller.setSerialPort(elsewhere);
        QCOMPARE(combo.currentIndex(), -1);
        // A pseudo-terminal's bare number says what it is.
        QCOMPARE(combo.placeholderText(), "pts/" + QString::fromStdString(elsewhere->name()) + " (pseudo-terminal)");
        controller.setSerialPort(nullptr);
        QCOMPARE(combo.currentIndex(), -1);
    }

    void windowConnectsEveryOutletAndBinding()
    {
        Application application(*manager_);
        MainWindow& window = application.window();
        SerialPortDemoController& controller = application.controller();
        QCOMPARE(window.windowTitle(), u"Halodial"_qs);
        QCOMPARE(application.appDelegate().window(), &window);

        const QMetaObject* meta = controller.metaObject();
        int outlets = 0;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (property.metaType().flags() & QMetaType::PointerToQObject) {
                QVERIFY2(property.read(&controller).value<QObject*>(), property.name());
                ++outlets;
            }
        }
        QCOMPARE(outlets, 21);
        QCOMPARE(controller.win(), &window);

        Ui::MainWindow& ui = window.ui();
        for (int tag = 0; tag < 3; ++tag) {
            QCOMPARE(ui.lineEndingPopUpButton->itemData(tag).toInt(), tag);
        }
        // The standard rates, the clock's chosen until a port says otherwise.
        QCOMPARE(ui.band->currentData().value<unsigned long>(), 115200UL);
        QVERIFY(ui.band->findData(QVariant::fromValue(9600UL)) >= 0);
        QVERIFY(ui.receivedDataTextView->isReadOnly());
        // Fixed-width by what the console needs: the characters of its text
        // and hex views one width each; or else the family the system names
        // as its fixed font. Not by the font's fixed-pitch flag, which some
        // monospaced fonts (Noto Sans Mono) leave unset.
        const QFont consoleFont = ui.receivedDataTextView->font();
        const QFontMetricsF metrics(consoleFont);
        const QString sample = u"0123456789ABCDEFabcdef .:|-_iWmM@\u00B7"_qs;
        const bool oneWidth = std::all_of(sample.begin(), sample.end(), [&](QChar c) {
            return qFuzzyCompare(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QLatin1Char('0')));
        });
        const QString systemFixed = QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
        QVERIFY2(oneWidth || QFontInfo(consoleFont).family() == systemFixed,
                 qPrintable(QFontInfo(consoleFont).family()));
        controller.setShouldAddLineEnding(true);
        QVERIFY(ui.addLineEndingCheckBox->isChecked());
        ui.addLineEndingCheckBox->click();
        QVERIFY(!controller.shouldAddLineEnding());

        // Extra height goes to the console, not to the tubes.
        window.resize(760, 620);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const int tubeHeight = ui.tube1->height();
        const int consoleHeight = ui.receivedDataTextView->height();
        window.resize(760, 920);
        QTRY_VERIFY_WITH_TIMEOUT(ui.receivedDataTextView->height() >= consoleHeight + 250, kDeadlineMs);
        QCOMPARE(ui.tube1->height(), tubeHeight);
    }

    void simulatedClockShowsTheTimeAndAnswersSave()
    {
        Application application(*manager_);
        ApplicationOptions options;
        options.simulate = true;
        QVERIFY(!application.start(options));
        VirtualClock* clock = application.virtualClock();
        DevicePlayer::watch(clock->devicePath().toStdString());
        QVERIFY(clock && application.virtualClockWindow() && application.virtualClockWindow()->isVisible());
        // Beside the main window, never over the controls pressed next.
        QVERIFY(!application.virtualClockWindow()->frameGeometry().intersects(application.window().frameGeometry()));
        QCOMPARE(application.virtualClockWindow()->windowTitle(), u"Virtual clock — Halodial"_qs);
        SerialPortDemoController& controller = application.controller();
        QVERIFY(controller.serialPort());
        QCOMPARE(QString::fromStdString(controller.serialPort()->path()), clock->devicePath());
        Ui::MainWindow& ui = application.window().ui();
        QTRY_COMPARE_WITH_TIMEOUT(ui.portPopUpButton->currentText(), clock->deviceName(), kDeadlineMs);

        const std::array<QColor, 6> colours{QColor(255, 0, 0), QColor(0, 255, 0),   QColor(0, 0, 255),
                                            QColor(255, 128, 0), QColor(128, 0, 255), QColor(10, 20, 30)};
        const std::array<ColorWell*, 6> wells{ui.col1, ui.col2, ui.col3, ui.col4, ui.col5, ui.col6};
        for (int i = 0; i < 6; ++i) {
            wells[i]->setColor(colours[i]);
        }
        ui.openCloseButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(ui.openCloseButton->text(), u"Close"_qs, kDeadlineMs);
        ui.senddate->click();
        const auto showsNow = [&] {
            const ClockFrame& tubes = clock->tubes();
            const QTime shown = QTime::fromString(tubes.digits[0] + tubes.digits[1] + tubes.digits[2] + tubes.digits[3] +
                                                      tubes.digits[4] + tubes.digits[5],
                                                  u"HHmmss"_qs);
            return shown.isValid() && secondsBetween(shown, QTime::currentTime()) <= 1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(showsNow(), kDeadlineMs);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(clock->tubes().colours[i].rgb(), colours[i].rgb());
        }

        ui.stopButton->click();
        ui.saveButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(ui.receivedDataTextView->toPlainText().contains(u"SAVED "_qs), kDeadlineMs);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("withDisplay");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("saying");
        // Not there is no usage error: it ends the run as a vanished device does.
        QTest::newRow("no such port") << QStringList{u"-platform"_qs, u"offscreen"_qs, u"--port"_qs, u"/nonexistent"_qs}
                                      << true << 1 << u"No device at /nonexistent (unplugged?)"_qs;
        QTest::newRow("unknown option") << QStringList{u"-platform"_qs, u"offscreen"_qs, u"--frobnicate"_qs} << true << 2
                                        << u"Unknown option 'frobnicate'"_qs;
        QTest::newRow("stray argument") << QStringList{u"-platform"_qs, u"offscreen"_qs, u"ttyUSB0"_qs} << true << 2
                                        << u"unexpected argument 'ttyUSB0'"_qs;
        QTest::newRow("open without a port") << QStringList{u"-platform"_qs, u"offscreen"_qs, u"--open"_qs} << true << 2
                                             << u"--open needs a port"_qs;
        QTest::newRow("headless open of no device") << QStringList{u"-platform"_qs, u"offscreen"_qs, u"--port"_qs,
                                                                   u"/nonexistent"_qs, u"--open"_qs}
                                                    << true << 1 << u"No device at /nonexistent (unplugged?)"_qs;
        QTest::newRow("headless sync without a port") << QStringList{u"-platform"_qs, u"offscreen"_qs, u"--sync"_qs}
                                                      << true << 2 << u"--sync without a window needs a port"_qs;
        QTest::newRow("help needs no display") << QStringList{u"--help"_qs} << false << 0 << u"--simulate"_qs;
        QTest::newRow("version needs no display") << QStringList{u"--version"_qs} << false << 0 << u"Halodial 0.1"_qs;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, withDisplay);
        QFETCH(int, exitCode);
        QFETCH(QString, saying);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!withDisplay) {
            environment.remove(u"QT_QPA_PLATFORM"_qs);
            environment.remove(u"DISPLAY"_qs);
            environment.remove(u"WAYLAND_DISPLAY"_qs);
        }
        const Run run = runBinary(arguments, environment);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2((exitCode == 0 ? run.output : run.errors).contains(saying), qPrintable(run.output + run.errors));
    }

    void binaryRunsTheSimulationHeadless()
    {
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        const Run run = runBinary({u"--simulate"_qs, u"--open"_qs, u"--sync"_qs, u"--screenshot-dir"_qs,
                                   directory.path(), u"-platform"_qs, u"offscreen"_qs},
                                  QProcessEnvironment::systemEnvironment());
        QCOMPARE(run.exitCode, 0);
        for (const QString& name : {u"main-window.png"_qs, u"virtual-clock.png"_qs}) {
            const QImage shot(directory.filePath(name));
            QVERIFY2(shot.width() > 300 && shot.height() > 200, qPrintable(name));
        }
    }
};

QTEST_MAIN(ApplicationTests)
#include "ApplicationTests.moc"
