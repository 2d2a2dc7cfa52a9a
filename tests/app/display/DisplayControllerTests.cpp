// The display through the controller: one place to set and observe it,
// digits given from outside and a countdown on the sync's plan, the save
// frame untouched by it, and the frames between the points on a real
// pseudo-terminal, which leave the time frames landing as before.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "ColorWell.h"
#include "MainWindow.h"
#include "SerialPortDemoController.h"
#include "VELSerialPortManager.h"
#include "display/DisplayDialog.h"
#include "ui_DisplayDialog.h"
#include "ui_MainWindow.h"
#include "VELSerialPort.h"
#include "desktop/QtMainQueue.h"
#include "display/DisplayText.h"
#include "clock/ClockTubes.h"
#include "support/PseudoTerminal.h"

using test::ClockTubes;
using test::PseudoTerminal;
using test::at;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

namespace {

constexpr int kDeadlineMs = 10000;


DisplaySettings with(const QString& key, const QString& value)
{
    DisplaySettings settings;
    DisplayText::apply(key, value, settings);
    return settings;
}

}  // namespace

class DisplayControllerTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vel::MainQueue::setShared(std::make_shared<QtMainQueue>()); }

    void settingsAreSetAndObservedInOnePlace()
    {
        ClockTubes tubes;
        QSignalSpy changed(&tubes.controller, &SerialPortDemoController::displaySettingsChanged);
        const DisplaySettings twelve = with(QStringLiteral("hours"), QStringLiteral("12"));
        tubes.controller.setDisplaySettings(twelve);
        tubes.controller.setDisplaySettings(twelve);
        QCOMPARE(changed.size(), 1);
        QVERIFY(changed.at(0).at(0).value<DisplaySettings>() == twelve);
        QVERIFY(tubes.controller.displaySettings() == twelve);
        // From a caller that did not check: within range, and said so.
        DisplaySettings wild = twelve;
        wild.brightness[0] = 0;
        wild.effectSpeed = 50;
        wild.nightDimPercent = 400;
        tubes.controller.setDisplaySettings(wild);
        QCOMPARE(tubes.controller.displaySettings().brightness[0], DisplaySettings::minimumBrightness);
        QCOMPARE(tubes.controller.displaySettings().effectSpeed, DisplaySettings::maximumSpeed);
        QCOMPARE(tubes.controller.displaySettings().nightDimPercent, 100);
        QCOMPARE(changed.size(), 2);
        tubes.controller.setDisplaySettings(twelve);

        auto wall = std::make_shared<nanoseconds>(at(QTime(13, 5, 0, 990)));
        tubes.controller.setWallClock([wall] { return *wall; });
        tubes.controller.senddate();
        QCOMPARE(tubes.controller.timer()->plan()->digits, QStringLiteral("010501"));
        tubes.controller.stop();
    }

    // Given digits replace the time on the plan at once, for their seconds
    // or until cleared; a countdown shows the time left on the grid.
    void givenDigitsAndACountdownOnThePlan()
    {
        ClockTubes tubes;
        auto wall = std::make_shared<nanoseconds>(at(QTime(9, 0, 0, 10)));
        tubes.controller.setWallClock([wall] { return *wall; });
        TimeSync& sync = *tubes.controller.timer();
        tubes.controller.senddate();
        QCOMPARE(sync.plan()->digits, QStringLiteral("090000"));

        tubes.controller.showDigits(QStringLiteral("4711"), std::chrono::seconds(5));
        QCOMPARE(sync.plan()->digits, QStringLiteral("4711  "));
        *wall = at(QTime(9, 0, 5, 10));
        sync.clockWasStepped();
        QCOMPARE(sync.plan()->digits, QStringLiteral("090005"));
        tubes.controller.showDigits(QStringLiteral("123456"), std::chrono::seconds(0));
        *wall = at(QTime(11, 0, 0, 10));
        sync.clockWasStepped();
        QCOMPARE(sync.plan()->digits, QStringLiteral("123456"));
        tubes.controller.clearShownDigits();
        QCOMPARE(sync.plan()->digits, QStringLiteral("110000"));

        tubes.controller.startCountdown(std::chrono::seconds(90));
        QCOMPARE(sync.plan()->digits, QStringLiteral("000130"));
        tubes.controller.startCountdownTo(QTime(12, 30));
        QCOMPARE(sync.plan()->digits, QStringLiteral("013000"));
        tubes.controller.stopCountdown();
        QCOMPARE(sync.plan()->digits, QStringLiteral("110000"));
        tubes.controller.stop();
    }

    // On the real clock: zero is told once, then after the flashes the
    // countdown is over and the time comes back.
    void aCountdownFinishes()
    {
        ClockTubes tubes;
        QSignalSpy finished(&tubes.controller, &SerialPortDemoController::countdownFinished);
        tubes.controller.senddate();
        tubes.controller.startCountdown(std::chrono::seconds(1));
        QVERIFY(finished.wait(kDeadlineMs));
        QTRY_VERIFY_WITH_TIMEOUT(!tubes.controller.countsDown(), kDeadlineMs);
        QCOMPARE(finished.size(), 1);
        tubes.controller.stop();
    }

    // The window's Display button opens the dialog; what the user changes
    // there reaches the controller at once and shows in the tube fields,
    // and a change made elsewhere shows in the dialog.
    void theDialogSetsTheDisplayLive()
    {
        auto& manager = VELSerialPortManager::sharedSerialPortManager();
        SerialPortDemoController controller(&manager);
        MainWindow window;
        window.connectController(controller, manager);
        window.ui().displayButton->click();
        DisplayDialog* dialog = window.displayDialog();
        QVERIFY(dialog && dialog->isVisible());
        Ui::DisplayDialog& ui = dialog->ui();

        const QTime now = QTime::currentTime();
        ui.nightFromEdit->setTime(now.addSecs(-3600));
        ui.nightToEdit->setTime(now.addSecs(3600));
        ui.nightActionCombo->setCurrentIndex(ui.nightActionCombo->findData(int(DisplaySettings::NightAction::Off)));
        ui.nightGroup->setChecked(true);
        QVERIFY(controller.displaySettings().nightEnabled);
        QCOMPARE(controller.displaySettings().nightAction, DisplaySettings::NightAction::Off);
        QCOMPARE(window.ui().tube3->palette().color(QPalette::Text), QColor(Qt::black));

        ui.brightness2->setValue(40);
        QCOMPARE(controller.displaySettings().brightness[1], 40);

        controller.setDisplaySettings(with(QStringLiteral("effect"), QStringLiteral("pulse:3")));
        QCOMPARE(ui.effectCombo->currentData().toInt(), int(DisplaySettings::Effect::Pulse));
        QVERIFY(!ui.nightGroup->isChecked());
        QCOMPARE(ui.brightness2->value(), 100);
        // A switched-off group's controls stay off, also those that its
        // choices would turn on.
        QVERIFY(!ui.nightDimSpin->isEnabled());
        ui.nightActionCombo->setCurrentIndex(ui.nightActionCombo->findData(int(DisplaySettings::NightAction::Colour)));
        QVERIFY(!ui.nightColourWell->isEnabled());
        ui.nightGroup->setChecked(true);
        QVERIFY(ui.nightColourWell->isEnabled());
        ui.nightGroup->setChecked(false);

        // Back to the plain clock: the tubes show the wells' colours again.
        controller.setDisplaySettings({});
        QCOMPARE(window.ui().tube3->palette().color(QPalette::Text), window.ui().col3->color());
    }

    // The save frame carries what stands in the tube fields, in the wells'
    // colours, whatever the display does to the time frames.
    void theSaveFrameCarriesTheTubeFields()
    {
        ClockTubes tubes;
        PseudoTerminal pty;
        auto port = tubes.portOn(pty);
        QVERIFY(port);
        DisplaySettings dark = with(QStringLiteral("theme"), QStringLiteral("violet"));
        DisplayText::apply(QStringLiteral("brightness"), QStringLiteral("10"), dark);
        tubes.controller.setDisplaySettings(dark);
        tubes.controller.showDigits(QStringLiteral("000000"), std::chrono::seconds(0));
        const QString typed = QStringLiteral("987654");
        for (int i = 0; i < 6; ++i) {
            tubes.fields[i]->setText(typed.mid(i, 1));
        }
        tubes.controller.save();
        QCOMPARE(pty.take(43), QByteArray("*9FFFFFF8FFFFFF7FFFFFF6FFFFFF5FFFFFF4FFFFFF"));
        tubes.controller.setSerialPort(nullptr);
    }

    // The heaviest effect on a 115200 line: frames between the points, 25 a
    // second in all at most, through the idle-only send; every time frame
    // still finds the line free at its instant.
    void effectFramesLeaveTheTimeFramesAlone()
    {
        ClockTubes tubes;
        PseudoTerminal pty;
        auto port = tubes.portOn(pty);
        QVERIFY(port);
        tubes.controller.setDisplaySettings(with(QStringLiteral("effect"), QStringLiteral("rainbow:10")));
        tubes.controller.senddate();
        TimeSync& sync = *tubes.controller.timer();
        QTRY_VERIFY_WITH_TIMEOUT(sync.counts().sent >= 2, kDeadlineMs);
        pty.drain(milliseconds(0));
        const TimeSync::Counts before = sync.counts();
        const int inBetweenBefore = tubes.controller.inBetweenFramesSent();
        QElapsedTimer elapsed;
        elapsed.start();
        QByteArray received;
        while (elapsed.elapsed() < 3000) {
            received += pty.drain(milliseconds(100));
        }
        const double seconds = elapsed.elapsed() / 1000.0;
        const int timeFrames = sync.counts().sent - before.sent;
        const int inBetween = tubes.controller.inBetweenFramesSent() - inBetweenBefore;
        tubes.controller.stop();
        QCOMPARE(sync.counts().busy, before.busy);
        QVERIFY2(inBetween >= 15, qPrintable(QString::number(inBetween)));
        QVERIFY2((timeFrames + inBetween) / seconds <= 26.0,
                 qPrintable(QStringLiteral("%1 frames a second").arg((timeFrames + inBetween) / seconds)));
        // Whole frames only: nothing cut into another.
        QCOMPARE(received.size() % 43, 0);
        QCOMPARE(received.count('/'), received.size() / 43);
        tubes.controller.setSerialPort(nullptr);
    }
};

QTEST_MAIN(DisplayControllerTests)
#include "DisplayControllerTests.moc"
