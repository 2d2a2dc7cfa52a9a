// The clock side of the controller: colour encoding, frames on a real
// pseudo-terminal, time sync, tube colours, save frame and the help alert,
// all with real widgets on the offscreen platform.
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "ColorWell.h"
#include "clock/HalodialColor.h"
#include "support/PseudoTerminal.h"
#include "desktop/QtMainQueue.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;
constexpr qsizetype kFrameLength = 43;

// The window's clock controls, connected to a controller through its
// properties, the way a window connects its outlets by name.
struct ClockWindow {
    QWidget host;
    std::array<QLineEdit*, 6> tubes{};
    std::array<ColorWell*, 6> wells{};
    ColorWell* colall = new ColorWell(&host);
    QComboBox* lineEndings = new QComboBox(&host);
    SerialPortDemoController controller;

    ClockWindow()
    {
        for (int i = 0; i < 6; ++i) {
            tubes[i] = new QLineEdit(&host);
            wells[i] = new ColorWell(&host);
            const QByteArray n = QByteArray::number(i + 1);
            controller.setProperty("tube" + n, QVariant::fromValue(tubes[i]));
            controller.setProperty("col" + n, QVariant::fromValue(wells[i]));
        }
        controller.setProperty("colall", QVariant::fromValue(colall));
        lineEndings->addItem(QStringLiteral("CR"), 0);
        lineEndings->addItem(QStringLiteral("LF"), 1);
        lineEndings->addItem(QStringLiteral("CR+LF"), 2);
        controller.setProperty("lineEndingPopUpButton", QVariant::fromValue(lineEndings));
    }

    void setDigits(const QStringList& digits)
    {
        for (int i = 0; i < 6; ++i) {
            tubes[i]->setText(digits.value(i));
        }
    }

    // The colours of the worked example: red, green, blue, white, a mix, black.
    void setExampleColours()
    {
        const std::array<QColor, 6> colours{QColor::fromRgbF(1, 0, 0),         QColor::fromRgbF(0, 1, 0),
                                            QColor::fromRgbF(0, 0, 1),         QColor::fromRgbF(1, 1, 1),
                                            QColor::fromRgbF(0.5, 0.25, 0.75), QColor::fromRgbF(0, 0, 0)};
        for (int i = 0; i < 6; ++i) {
            wells[i]->setColor(colours[i]);
        }
    }

    QColor textColour(int tube) const { return tubes[tube]->palette().color(QPalette::Text); }
};

// The time frame of the worked example, 09:05:07 in the example colours.
const QByteArray kExampleTimeFrame = QByteArray::fromHex(
    "2F 30 46 46 30 30 30 30 39 30 30 46 46 30 30 30 30 30 30 30 46 46 35 46 46 46 46 46 46 30 38 30 34 30 42 46 37 30 "
    "30 30 30 30 30");

}  // namespace

class ClockControlTests : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ClockWindow> window_;
    std::unique_ptr<PseudoTerminal> pty_;
    std::shared_ptr<VELSerialPort> port_;

    SerialPortDemoController& controller() { return window_->controller; }

    // A port on a fresh pseudo-terminal, handed to the controller and open.
    bool connectClock()
    {
        pty_ = std::make_unique<PseudoTerminal>();
        port_ = VELSerialPort::initWithPath(pty_->path());
        if (!port_) {
            return false;
        }
        controller().setSerialPort(port_);
        port_->open();
        return QTest::qWaitFor([this] { return port_->isOpen(); }, kDeadlineMs);
    }

    // The controller's timer, if any; it must be its only one.

private slots:
    void initTestCase()
    {
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void init() { window_ = std::make_unique<ClockWindow>(); }

    void cleanup()
    {
        controller().stop();
        window_.reset();
        if (port_) {
            port_->close();
            QTRY_VERIFY_WITH_TIMEOUT(!port_->isOpen(), kDeadlineMs);
            port_.reset();
        }
        pty_.reset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // --- Colour encoding -------------------------------------------------

    void hexStringIsAlwaysSixRoundedClampedDigits_data()
    {
        QTest::addColumn<double>("r");
        QTest::addColumn<double>("g");
        QTest::addColumn<double>("b");
        QTest::addColumn<QString>("hex");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("half rounds up, not truncated") << 0.5 << 0.5 << 0.5 << "808080";
        QTest::newRow("25.5 and 76.5 round away from zero") << 0.1 << 0.2 << 0.3 << "1A334D";
        QTest::newRow("pure red") << 1.0 << 0.0 << 0.0 << "FF0000";
        QTest::newRow("quarters") << 0.5 << 0.25 << 0.75 << "8040BF";
        QTest::newRow("above one clamps") << 1.2 << 0.0 << 0.0 << "FF0000";
        QTest::newRow("below zero clamps") << -0.1 << 0.0 << 0.0 << "000000";
        QTest::newRow("far out of range") << 1e300 << -1e300 << 0.0 << "FF0000";
        QTest::newRow("non-finite is zero") << nan << inf << -inf << "000000";
    }

    void hexStringIsAlwaysSixRoundedClampedDigits()
    {
        QFETCH(double, r);
        QFETCH(double, g);
        QFETCH(double, b);
        QFETCH(QString, hex);
        QCOMPARE(HalodialColor::hexString(r, g, b), hex);
    }

    void colourIsReadAsRgbWhateverItsModel()
    {
        const QColor hsv = QColor::fromHsvF(0.0, 1.0, 1.0);  // red held as HSV
        QCOMPARE(HalodialColor::hexString(hsv), QStringLiteral("FF0000"));
        QCOMPARE(HalodialColor::hexString(QColor()), QStringLiteral("000000"));
        // Unscaled: QColor keeps 16 bits a component, hence the tolerance.
        const QColor colour = QColor::fromRgbF(0.25, 0.0, 1.0);
        QVERIFY(std::abs(HalodialColor::R(colour) - 0.25f) < 1e-4f);
        QCOMPARE(HalodialColor::G(colour), 0.0f);
        QCOMPARE(HalodialColor::B(colour), 1.0f);
    }

    // --- The controller itself -------------------------------------------

    void freshControllerIsIdleAndOutletsClearThemselves()
    {
        SerialPortDemoController fresh;
        QVERIFY(!fresh.serialPort());
        QVERIFY(!fresh.timer()->isActive());
        QVERIFY(fresh.findChildren<QTimer*>().isEmpty());
        QVERIFY(!fresh.shouldAddLineEnding());
        QCOMPARE(fresh.availableBaudRates(), QList<int>{115200});
        QVERIFY(!fresh.serialPortManager());
        QVERIFY(!fresh.tube1() && !fresh.col6() && !fresh.colall() && !fresh.receivedDataTextView());

        QSignalSpy changed(&fresh, &SerialPortDemoController::shouldAddLineEndingChanged);
        QVERIFY(fresh.setProperty("shouldAddLineEnding", true));
        fresh.setShouldAddLineEnding(true);
        QCOMPARE(changed.count(), 1);
        QVERIFY(fresh.shouldAddLineEnding());

        // Outlets connect by property name and clear when their control goes.
        QCOMPARE(controller().tube3(), window_->tubes[2]);
        QCOMPARE(controller().col6(), window_->wells[5]);
        QCOMPARE(controller().colall(), window_->colall);
        delete window_->tubes[2];
        QVERIFY(!controller().tube3());
    }

    void consoleViewIsOwnedUnlessHosted()
    {
        QPointer<QPlainTextEdit> unhosted = new QPlainTextEdit;
        QPointer<QPlainTextEdit> replaced = new QPlainTextEdit;
        QPointer<QPlainTextEdit> hosted = new QPlainTextEdit(&window_->host);
        {
            SerialPortDemoController owner;
            owner.setReceivedDataTextView(replaced);
            owner.setReceivedDataTextView(unhosted);
            QVERIFY(!replaced);
            QCOMPARE(owner.receivedDataTextView(), unhosted.data());
        }
        QVERIFY(!unhosted);
        {
            SerialPortDemoController user;
            user.setReceivedDataTextView(hosted);
        }
        QVERIFY(hosted);
    }

    void helpAlertNamesTheWiki()
    {
        QString text;
        QString informative;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                informative = box->informativeText();
                box->accept();
            }
        });
        closer.start(10);
        controller().help();
        QCOMPARE(text, QStringLiteral("Halodial Help"));
        QCOMPARE(informative, QStringLiteral("For More Help , please visit 'halodial.org'"));
    }

    void lineEndingFollowsTheSelectedTag_data()
    {
        QTest::addColumn<QVariant>("tag");
        QTest::addColumn<QString>("ending");
        QTest::newRow("0") << QVariant(0) << "\r";
        QTest::newRow("1") << QVariant(1) << "\n";
        QTest::newRow("2") << QVariant(2) << "\r\n";
        QTest::newRow("3") << QVariant(3) << "\n";
        QTest::newRow("not a number") << QVariant(QStringLiteral("crlf")) << "\n";
        QTest::newRow("nothing selected") << QVariant() << "\n";
    }

    void lineEndingFollowsTheSelectedTag()
    {
        QFETCH(QVariant, tag);
        QFETCH(QString, ending);
        QComboBox& popUp = *window_->lineEndings;
        popUp.addItem(QStringLiteral("other"), tag);
        popUp.setCurrentIndex(tag.isValid() ? popUp.count() - 1 : -1);
        QCOMPARE(controller().lineEndingString(), ending);
    }

    void ticksShowLocalTimeInAsciiDigits_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QStringList>("digits");
        QTest::newRow("last second") << "en_US" << QTime(23, 59, 59) << QStringList{"2", "3", "5", "9", "5", "9"};
        QTest::newRow("midnight") << "en_US" << QTime(0, 0) << QStringList{"0", "0", "0", "0", "0", "0"};
        // A clock shows 0 to 9 only: locales with digits of their own
        // (Arabic-Indic; Adlam, outside the BMP) get ASCII digits all the same.
        QTest::newRow("Arabic-Indic") << "ar_EG" << QTime(9, 5, 7) << QStringList{"0", "9", "0", "5", "0", "7"};
        QTest::newRow("Adlam") << "ff_Adlm_GN" << QTime(9, 5, 7) << QStringList{"0", "9", "0", "5", "0", "7"};
    }

    void ticksShowLocalTimeInAsciiDigits()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QStringList, digits);
        QLocale::setDefault(QLocale(locale));
        controller().setClock([time] { return time; });
        controller().tickDown();
        QString expected = QStringLiteral("/");
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(window_->tubes[i]->text(), digits[i]);
            expected += digits[i] + QStringLiteral("FFFFFF");
        }
        QCOMPARE(controller().frameString(QLatin1Char('/')), std::optional<QString>(expected));
        QVERIFY(!controller().timer()->isActive());
    }

    void colourWellActivatesOnlyWhenTheUserPicks()
    {
        ColorWell& well = *window_->wells[0];
        QSignalSpy activated(&well, &ColorWell::activated);
        well.setColor(Qt::red);
        QCOMPARE(well.color(), QColor(Qt::red));

        well.click();
        QVERIFY(well.dialog());
        QCOMPARE(well.dialog()->currentColor(), QColor(Qt::red));
        well.dialog()->setCurrentColor(QColor(0, 128, 255));
        well.dialog()->accept();
        QCOMPARE(activated.count(), 1);
        QCOMPARE(well.color(), QColor(0, 128, 255));

        well.click();
        well.dialog()->setCurrentColor(Qt::green);
        well.dialog()->reject();
        QCOMPARE(activated.count(), 1);
        QCOMPARE(well.color(), QColor(0, 128, 255));
    }

    void colourActionsPairEachTubeWithItsOwnWell()
    {
        const std::array<const char*, 6> actions{"colorc1", "color2", "color3", "color4", "color5", "color6"};
        const QColor untouched = window_->textColour(0);
        for (int i = 0; i < 6; ++i) {
            window_->wells[i]->setColor(QColor::fromHsv(i * 60, 255, 255));
        }
        for (int n = 0; n < 6; ++n) {
            QVERIFY(QMetaObject::invokeMethod(&controller(), actions[n]));
            for (int i = 0; i < 6; ++i) {
                QCOMPARE(window_->textColour(i), i <= n ? QColor::fromHsv(i * 60, 255, 255) : untouched);
                QCOMPARE(window_->wells[i]->color(), QColor::fromHsv(i * 60, 255, 255));
            }
        }
    }

    void colorallPaintsEveryWellAndTubeButItsOwn()
    {
        const QColor purple = QColor::fromRgbF(0.5, 0, 0.5);
        window_->colall->setColor(purple);
        window_->wells[2]->setColor(Qt::green);
        QSignalSpy wellAction(window_->wells[2], &ColorWell::activated);
        controller().colorall();
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(window_->wells[i]->color(), purple);
            QCOMPARE(window_->textColour(i), purple);
        }
        QCOMPARE(window_->colall->color(), purple);
        QCOMPARE(wellAction.count(), 0);
    }

    // --- Frames on the wire ------------------------------------------------

    void workedExampleGoesOutByteForByte()
    {
        QVERIFY(connectClock());
        window_->setExampleColours();
        controller().setClock([] { return QTime(9, 5, 7); });

        controller().tickDown();
        QCOMPARE(pty_->take(kFrameLength), kExampleTimeFrame);

        window_->lineEndings->setCurrentIndex(2);
        controller().setShouldAddLineEnding(true);
        controller().tickDown();
        QCOMPARE(pty_->take(kFrameLength + 2), kExampleTimeFrame + "\r\n");

        controller().setShouldAddLineEnding(false);
        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        controller().save();
        QByteArray saveFrame = kExampleTimeFrame;
        saveFrame[0] = '*';
        for (int i = 0; i < 6; ++i) {
            saveFrame[1 + 7 * i] = static_cast<char>('1' + i);
        }
        QCOMPARE(pty_->take(kFrameLength), saveFrame);
        QVERIFY(pty_->takeAll().isEmpty());
    }

    void lineEndingIsAddedUnlessTheTextEndsInLineFeed()
    {
        QVERIFY(connectClock());
        window_->lineEndings->setCurrentIndex(2);
        controller().sendString(QStringLiteral("abc"));
        QCOMPARE(pty_->take(3), QByteArray("abc"));

        controller().setShouldAddLineEnding(true);
        controller().sendString(QStringLiteral("abc"));
        QCOMPARE(pty_->take(5), QByteArray("abc\r\n"));
        controller().sendString(QStringLiteral("abc\n"));
        QCOMPARE(pty_->take(4), QByteArray("abc\n"));
        controller().sendString(QStringLiteral("abc\r"));
        QCOMPARE(pty_->take(6), QByteArray("abc\r\r\n"));

        window_->lineEndings->setCurrentIndex(0);
        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        controller().save();
        const QByteArray frame = pty_->take(kFrameLength + 1);
        QCOMPARE(frame.size(), kFrameLength + 1);
        QVERIFY(frame.startsWith("*1FFFFFF2"));
        QVERIFY(frame.endsWith("6FFFFFF\r"));
        QVERIFY(pty_->takeAll().isEmpty());
    }

    void saveFramesCarryWhatTheFieldsHold()
    {
        QVERIFY(connectClock());
        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        controller().save();
        QCOMPARE(pty_->take(kFrameLength), QByteArray("*1FFFFFF2FFFFFF3FFFFFF4FFFFFF5FFFFFF6FFFFFF"));

        window_->setDigits({});
        controller().save();
        QCOMPARE(pty_->take(37), QByteArray("*FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"));

        window_->setDigits({"1", "", "12", "é", "٣", "x"});
        controller().save();
        const QByteArray expected = "*1FFFFFFFFFFFF12FFFFFF\xC3\xA9"
                                    "FFFFFF\xD9\xA3"
                                    "FFFFFFxFFFFFF";
        QCOMPARE(pty_->take(expected.size()), expected);

        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        window_->tubes[3]->clear();
        controller().save();
        QCOMPARE(pty_->take(kFrameLength - 1), QByteArray("*1FFFFFF2FFFFFF3FFFFFFFFFFFF5FFFFFF6FFFFFF"));
        QVERIFY(pty_->takeAll().isEmpty());
    }

    void nothingPartialOrMangledGoesOut()
    {
        QVERIFY(connectClock());
        controller().sendString(QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b"));
        window_->setDigits({"1", "2", "3", QString(QChar(0xDC00)), "5", "6"});
        controller().save();

        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        delete window_->wells[4];
        QVERIFY(!controller().frameString(QLatin1Char('*')));
        controller().save();
        controller().senddate();
        controller().tickDown();
        controller().sendString(QStringLiteral("ok"));
        QCOMPARE(pty_->take(2), QByteArray("ok"));
        QVERIFY(pty_->takeAll().isEmpty());
    }

    void withoutAnOpenPortNothingGoesOut()
    {
        pty_ = std::make_unique<PseudoTerminal>();
        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        controller().save();
        controller().tickDown();

        port_ = VELSerialPort::initWithPath(pty_->path());
        QVERIFY(port_);
        controller().setSerialPort(port_);
        controller().save();
        controller().tickDown();
        controller().sendString(QStringLiteral("abc"));
        QVERIFY(pty_->staysSilentFor(std::chrono::milliseconds(200)));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void colourActionsSendNothingButTheNextFrameCarriesThem()
    {
        QVERIFY(connectClock());
        window_->colall->setColor(Qt::red);
        controller().colorall();
        controller().color3();
        QVERIFY(pty_->staysSilentFor(std::chrono::milliseconds(100)));
        controller().save();
        QCOMPARE(pty_->take(37), QByteArray("*FF0000FF0000FF0000FF0000FF0000FF0000"));
        QVERIFY(!controller().timer()->isActive());
    }

    // --- Time sync ----------------------------------------------------------

    void syncSendsAtOnceThenEveryTick()
    {
        QVERIFY(connectClock());
        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        window_->setExampleColours();
        controller().setClock([] { return QTime(9, 5, 7); });
        QVERIFY(pty_->staysSilentFor(std::chrono::milliseconds(300)));
        QVERIFY(!controller().timer()->isActive());

        controller().senddate();
        QByteArray typed = kExampleTimeFrame;
        for (int i = 0; i < 6; ++i) {
            typed[1 + 7 * i] = static_cast<char>('1' + i);
            QCOMPARE(window_->textColour(i), window_->wells[i]->color());
        }
        QCOMPARE(pty_->take(kFrameLength), typed);
        QCOMPARE(pty_->take(kFrameLength), kExampleTimeFrame);
        QCOMPARE(pty_->take(kFrameLength), kExampleTimeFrame);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(window_->tubes[i]->text(), QString(QLatin1Char("090507"[i])));
        }
        QVERIFY(controller().timer()->isActive());
        // The sync's own thread does the waiting: the window has no timer.
        QVERIFY(controller().findChildren<QTimer*>().isEmpty());
    }

    // The tubes' initial zeros are no time: the first frame of a sync that
    // nobody typed for shows the current time.
    void firstFrameShowsTheTimeNotTheInitialZeros()
    {
        ClockWindow fresh;
        for (QLineEdit* tube : fresh.tubes) {
            tube->blockSignals(true);
            tube->setText(QStringLiteral("0"));
            tube->blockSignals(false);
        }
        PseudoTerminal pty;
        auto port = VELSerialPort::initWithPath(pty.path());
        QVERIFY(port);
        fresh.controller.setSerialPort(port);
        fresh.controller.openOrClosePort();
        QTRY_VERIFY_WITH_TIMEOUT(port->isOpen(), kDeadlineMs);
        fresh.controller.setClock([] { return QTime(9, 5, 7); });
        fresh.controller.senddate();
        QCOMPARE(pty.take(kFrameLength), QByteArray("/0FFFFFF9FFFFFF0FFFFFF5FFFFFF0FFFFFF7FFFFFF"));
        fresh.controller.stop();
        fresh.controller.setSerialPort(nullptr);
    }

    void anotherPressKeepsOneTimer()
    {
        QVERIFY(connectClock());
        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        controller().senddate();
        controller().senddate();
        QVERIFY(controller().timer()->isActive());

        // Two timers would give about ten frames a second.
        pty_->take(2 * kFrameLength);
        pty_->takeAll();
        QTest::qWait(1000);
        const auto frames = pty_->takeAll().count('/');
        QVERIFY2(frames <= 8, QByteArray::number(frames));
        QVERIFY(pty_->take(kFrameLength).startsWith('/'));
    }

    void syncOutlivesClosingThePort()
    {
        QVERIFY(connectClock());
        auto seconds = std::make_shared<int>(0);
        controller().setClock([seconds] { return QTime(0, 0).addSecs((*seconds)++); });
        window_->setDigits({"1", "2", "3", "4", "5", "6"});
        controller().senddate();
        QVERIFY(pty_->take(kFrameLength).startsWith("/1"));

        port_->close();
        QTRY_VERIFY_WITH_TIMEOUT(!port_->isOpen(), kDeadlineMs);
        const int closedAt = *seconds;
        QTRY_VERIFY_WITH_TIMEOUT(*seconds >= closedAt + 2, kDeadlineMs);
        pty_->takeAll();
        const int silentFrom = *seconds;
        QTRY_VERIFY_WITH_TIMEOUT(*seconds >= silentFrom + 2, kDeadlineMs);
        QVERIFY(pty_->takeAll().isEmpty());
        QVERIFY(controller().timer()->isActive());

        port_->open();
        QTRY_VERIFY_WITH_TIMEOUT(port_->isOpen(), kDeadlineMs);
        QVERIFY(pty_->take(kFrameLength).startsWith('/'));
    }

    void wellColourReachesTheNextFrameButNotThePreview()
    {
        QVERIFY(connectClock());
        window_->setDigits({"0", "9", "0", "5", "0", "7"});
        controller().setClock([] { return QTime(9, 5, 7); });
        controller().senddate();
        QCOMPARE(pty_->take(kFrameLength), QByteArray("/0FFFFFF9FFFFFF0FFFFFF5FFFFFF0FFFFFF7FFFFFF"));
        const QColor preview = window_->textColour(1);
        window_->wells[1]->setColor(QColor::fromRgbF(0, 0, 1));
        // The frame planned for the coming point is built anew; only one
        // already on its way may still carry the old colour.
        QByteArray frame = pty_->take(kFrameLength);
        if (frame.mid(8, 6) == "FFFFFF") {
            frame = pty_->take(kFrameLength);
        }
        QCOMPARE(frame, QByteArray("/0FFFFFF90000FF0FFFFFF5FFFFFF0FFFFFF7FFFFFF"));
        QCOMPARE(window_->textColour(1), preview);
    }

    void stopEndsTheFramesAndKeepsTheDigits()
    {
        QVERIFY(connectClock());
        auto seconds = std::make_shared<int>(0);
        controller().setClock([seconds] { return QTime(0, 0).addSecs((*seconds)++); });
        controller().senddate();
        QTRY_VERIFY_WITH_TIMEOUT(*seconds >= 2, kDeadlineMs);
        controller().stop();
        QVERIFY(!controller().timer()->isActive());
        const QString lastUnits = window_->tubes[5]->text();
        pty_->takeAll();
        QVERIFY(pty_->staysSilentFor(std::chrono::milliseconds(500)));
        QCOMPARE(window_->tubes[5]->text(), lastUnits);

        controller().senddate();
        QVERIFY(controller().timer()->isActive());
        QVERIFY(pty_->take(kFrameLength).startsWith('/'));
    }
};

QTEST_MAIN(ClockControlTests)
#include "ClockControlTests.moc"
