// The remote control on a private session bus, with the window on the
// offscreen platform and the clock on a pseudo-terminal: what is set over
// D-Bus reaches the frames, what the window changes is told, and a bad call
// changes nothing.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "Application.h"
#include "ColorWell.h"
#include "DevicePlayer.h"
#include "MainWindow.h"
#include "SerialPortDemoController.h"
#include "VELSerialPortManager.h"
#include "desktop/PrivateSessionBus.h"
#include "desktop/QtMainQueue.h"
#include "remote/FrameWatch.h"
#include "remote/RemoteControlService.h"
#include "remote/RemoteInterface.h"
#include "support/PseudoTerminal.h"
#include "ui_MainWindow.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;
const QString clientName = QStringLiteral("remote-control-client");
const QString service = QString::fromLatin1(RemoteInterface::service);
const QString path = QString::fromLatin1(RemoteInterface::path);
const QString interface = QString::fromLatin1(RemoteInterface::interface);
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// PropertiesChanged as a Qt signal, for QSignalSpy.
class ChangeSpy : public QObject {
    Q_OBJECT

public:
    explicit ChangeSpy(QDBusConnection bus) : bus_(bus)
    {
        bus_.connect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                     SLOT(received(QString, QVariantMap, QStringList)));
    }
    ~ChangeSpy() override
    {
        bus_.disconnect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                        SLOT(received(QString, QVariantMap, QStringList)));
    }

signals:
    void changed(const QVariantMap& properties);

public slots:
    void received(const QString& changedInterface, const QVariantMap& properties, const QStringList&)
    {
        if (changedInterface == interface) {
            emit changed(properties);
        }
    }

private:
    QDBusConnection bus_;
};

}  // namespace

class RemoteControlTests : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PrivateSessionBus> bus_;
    std::unique_ptr<PseudoTerminal> terminal_;
    std::unique_ptr<Application> application_;

    QDBusConnection client() const { return QDBusConnection(clientName); }

    // The service answers on this thread: the calls run its event loop
    // while they wait.
    QDBusMessage call(const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return client().call(message, QDBus::BlockWithGui, kDeadlineMs);
    }

    QVariant property(const QString& name)
    {
        QDBusMessage message
            = QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Get"));
        message << interface << name;
        const QDBusMessage reply = client().call(message, QDBus::BlockWithGui, kDeadlineMs);
        return reply.arguments().isEmpty() ? QVariant()
                                           : reply.arguments().constFirst().value<QDBusVariant>().variant();
    }

private slots:
    void initTestCase()
    {
        bus_ = std::make_unique<PrivateSessionBus>();
        // Before anything in this process joins a session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_->address().toUtf8());
        QVERIFY(QDBusConnection::connectToBus(bus_->address(), clientName).isConnected());
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
    }

    void init()
    {
        terminal_ = std::make_unique<PseudoTerminal>();
        DevicePlayer::watch(terminal_->path());
        application_ = std::make_unique<Application>(VELSerialPortManager::sharedSerialPortManager());
        ApplicationOptions options;
        options.portPath = QString::fromStdString(terminal_->path());
        options.open = true;
        options.sync = true;
        options.remoteControl = true;
        QVERIFY(!application_->start(options));
        QTRY_VERIFY_WITH_TIMEOUT(application_->remoteControl()->ownsName(), kDeadlineMs);
    }

    void cleanup()
    {
        application_.reset();
        terminal_.reset();
        QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone());
    }

    void coloursSetOverTheBusReachTheFrames()
    {
        FrameWatch frames(*terminal_);
        QVERIFY(frames.next([](const ClockFrame& f) { return !FrameWatch::allColoured(f, 0x00FF00); }));

        const QDBusMessage reply = call(QStringLiteral("SetColours"), {QStringList {QStringLiteral("00ff00")}});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QVERIFY(frames.next([](const ClockFrame& f) { return FrameWatch::allColoured(f, 0x00FF00); }));
        QCOMPARE(property(QStringLiteral("Colours")).toStringList(), QStringList(6, QStringLiteral("00FF00")));
        QCOMPARE(application_->window().ui().col4->color(), QColor(0x00FF00));

        const QStringList six {"FF0000", "00FF00", "0000FF", "FFFF00", "00FFFF", "FF00FF"};
        QCOMPARE(call(QStringLiteral("SetColours"), {six}).type(), QDBusMessage::ReplyMessage);
        const auto frame = frames.next([](const ClockFrame& f) { return f.colours[5] == QColor(0xFF00FF); });
        QVERIFY(frame);
        QCOMPARE(frame->colours[0], QColor(0xFF0000));
        QCOMPARE(frame->colours[2], QColor(0x0000FF));
    }

    void aChangeInTheWindowIsTold()
    {
        ChangeSpy spy(client());
        QSignalSpy changes(&spy, &ChangeSpy::changed);
        application_->window().ui().col3->setColor(QColor(0x123456));
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), kDeadlineMs);
        const QVariantMap told = changes.takeFirst().constFirst().toMap();
        QCOMPARE(told.value(QStringLiteral("Colours")).toStringList().value(2), u"123456"_qs);

        // The all-tubes well sets six wells: one signal says it all.
        application_->window().ui().colall->setColor(QColor(0xABCDEF));
        application_->controller().colorall();
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), kDeadlineMs);
        QCOMPARE(changes.takeFirst().constFirst().toMap().value(QStringLiteral("Colours")).toStringList(),
                 QStringList(6, QStringLiteral("ABCDEF")));
        QVERIFY(!changes.wait(300));

        application_->controller().stop();
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), kDeadlineMs);
        QCOMPARE(changes.takeFirst().constFirst().toMap().value(QStringLiteral("Syncing")), QVariant(false));
    }

    void aBadCallChangesNothing_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("not hex") << u"SetColours"_qs << QVariantList {QStringList {"12345G"}} << u"'12345G'"_qs;
        QTest::newRow("two colours") << u"SetColours"_qs << QVariantList {QStringList {"FF0000", "00FF00"}}
                                     << u"not 2"_qs;
        QTest::newRow("one bad of six") << u"SetColours"_qs
                                        << QVariantList {QStringList {"FF0000", "00FF00", "0000FF", "#FFFF00", "00FFFF",
                                                                      "FF00FF"}}
                                        << u"'#FFFF00'"_qs;
        QTest::newRow("a number for colours") << u"SetColours"_qs << QVariantList {42} << u"(as)"_qs;
        QTest::newRow("no device") << u"Open"_qs << QVariantList {u"/nonexistent/tty"_qs} << u"/nonexistent/tty"_qs;
    }

    void aBadCallChangesNothing()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, complaint);
        const QVariant coloursBefore = property(QStringLiteral("Colours"));
        const QString portBefore = property(QStringLiteral("Port")).toString();

        const QDBusMessage reply = call(method, arguments);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), QString::fromLatin1(RemoteInterface::invalidArgumentError));
        QVERIFY2(reply.errorMessage().contains(complaint), qPrintable(reply.errorMessage()));

        QCOMPARE(property(QStringLiteral("Colours")), coloursBefore);
        QCOMPARE(property(QStringLiteral("Port")).toString(), portBefore);
        QCOMPARE(property(QStringLiteral("PortState")).toString(), u"open"_qs);
    }

    void theLineEndingIsWritable()
    {
        const auto set = [this](const QString& name, const QVariant& value) {
            QDBusMessage message =
                QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Set"));
            message << interface << name << QVariant::fromValue(QDBusVariant(value));
            return client().call(message, QDBus::BlockWithGui, kDeadlineMs);
        };
        QCOMPARE(set(u"LineEnding"_qs, u"crlf"_qs).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(set(u"AddsLineEnding"_qs, true).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(application_->controller().lineEndingString(), u"\r\n"_qs);
        QCOMPARE(application_->window().ui().lineEndingPopUpButton->currentData().toInt(), 2);
        terminal_->takeAll();
        QByteArray sent;
        QVERIFY(QTest::qWaitFor(
            [&] {
                sent += terminal_->takeAll();
                return sent.contains("\r\n/");
            },
            kDeadlineMs));

        const QDBusMessage refused = set(u"LineEnding"_qs, u"tab"_qs);
        QCOMPARE(refused.errorName(), QString::fromLatin1(RemoteInterface::invalidArgumentError));
        QCOMPARE(set(u"Syncing"_qs, false).errorName(), u"org.freedesktop.DBus.Error.PropertyReadOnly"_qs);
        QCOMPARE(property(u"LineEnding"_qs).toString(), u"crlf"_qs);
        QVERIFY(application_->controller().isSyncing());
    }

    void shownDigitsReachTheFramesUntilCleared()
    {
        FrameWatch frames(*terminal_);
        const auto shows = [](const ClockFrame& f) {
            return f.kind == ClockFrame::Kind::Time && f.digits[0] == u"1"_qs && f.digits[2] == u"3"_qs
                && f.digits[5] == u"6"_qs;
        };
        QCOMPARE(call(u"ShowDigits"_qs, {u"123456"_qs, 0u}).type(), QDBusMessage::ReplyMessage);
        QVERIFY(frames.next(shows));
        QCOMPARE(property(u"ShownDigits"_qs).toString(), u"123456"_qs);

        const QDBusMessage refused = call(u"ShowDigits"_qs, {u"12a"_qs, 0u});
        QCOMPARE(refused.errorName(), QString::fromLatin1(RemoteInterface::invalidArgumentError));
        QVERIFY2(refused.errorMessage().contains(u"'12a'"_qs), qPrintable(refused.errorMessage()));
        QCOMPARE(property(u"ShownDigits"_qs).toString(), u"123456"_qs);

        QCOMPARE(call(u"ClearDigits"_qs).type(), QDBusMessage::ReplyMessage);
        QVERIFY(frames.next([&](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time && !shows(f); }));
        QCOMPARE(property(u"ShownDigits"_qs).toString(), QString());
    }

    void displaySettingsAreWritableInTheirTextForms()
    {
        const auto set = [this](const QString& name, const QVariant& value) {
            QDBusMessage message =
                QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Set"));
            message << interface << name << QVariant::fromValue(QDBusVariant(value));
            return client().call(message, QDBus::BlockWithGui, kDeadlineMs);
        };
        ChangeSpy spy(client());
        QSignalSpy changes(&spy, &ChangeSpy::changed);
        QCOMPARE(set(u"Effect"_qs, u"rainbow:3"_qs).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(application_->controller().displaySettings().effect, DisplaySettings::Effect::Rainbow);
        QCOMPARE(application_->controller().displaySettings().effectSpeed, 3);
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), kDeadlineMs);
        QCOMPARE(changes.takeFirst().constFirst().toMap().value(u"Effect"_qs).toString(), u"rainbow:3"_qs);

        // A change made in the process (as the window's dialog makes it) is told too.
        DisplaySettings settings = application_->controller().displaySettings();
        settings.twelveHour = true;
        application_->controller().setDisplaySettings(settings);
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), kDeadlineMs);
        QCOMPARE(changes.takeFirst().constFirst().toMap().value(u"Hours"_qs).toString(), u"12"_qs);

        const DisplaySettings before = application_->controller().displaySettings();
        for (const auto& [name, value] : {std::pair {u"Hours"_qs, QVariant(u"13"_qs)},
                                          std::pair {u"Night"_qs, QVariant(u"22:00-22:00"_qs)},
                                          std::pair {u"Brightness"_qs, QVariant(u"100,100"_qs)},
                                          std::pair {u"Effect"_qs, QVariant(5)}}) {
            const QDBusMessage refused = set(name, value);
            QCOMPARE(refused.errorName(), QString::fromLatin1(RemoteInterface::invalidArgumentError));
            QVERIFY2(refused.errorMessage().startsWith(name + u":"_qs), qPrintable(refused.errorMessage()));
        }
        QVERIFY(application_->controller().displaySettings() == before);
        QCOMPARE(property(u"Hours"_qs).toString(), u"12"_qs);
    }

    void theIntrospectionDeclaresEveryProperty()
    {
        const QDBusMessage introspect = client().call(
            QDBusMessage::createMethodCall(service, path, u"org.freedesktop.DBus.Introspectable"_qs, u"Introspect"_qs),
            QDBus::BlockWithGui, kDeadlineMs);
        const QString xml = introspect.arguments().value(0).toString();
        QDBusMessage getAll = QDBusMessage::createMethodCall(service, path, propertiesInterface, u"GetAll"_qs);
        getAll << interface;
        const QVariantMap all
            = qdbus_cast<QVariantMap>(client().call(getAll, QDBus::BlockWithGui, kDeadlineMs).arguments().value(0));
        QVERIFY(all.size() > 20);
        for (const QString& name : all.keys()) {
            QVERIFY2(xml.contains(u"<property name=\""_qs + name + u'"'), qPrintable(name));
        }
        for (const char* method : {"ShowDigits", "ClearDigits", "StartCountdown", "StopCountdown"}) {
            QVERIFY2(xml.contains(u"<method name=\""_qs + QLatin1String(method) + u'"'), method);
        }
    }

    void aSecondStartHandsOverToTheWindow()
    {
        PseudoTerminal second;
        DevicePlayer::watch(second.path());
        const QString port = QString::fromStdString(second.path());
        application_->window().hide();
        QProcess start;
        start.setProcessChannelMode(QProcess::ForwardedChannels);
        start.start(QStringLiteral(HALODIAL_BINARY), {u"--port"_qs, port, u"--open"_qs});
        // The run's own event loop serves the hand-over while the second
        // start waits for its answer.
        QTRY_VERIFY_WITH_TIMEOUT(start.state() == QProcess::NotRunning, 3 * kDeadlineMs);
        QCOMPARE(start.exitStatus(), QProcess::NormalExit);
        QCOMPARE(start.exitCode(), 0);
        QVERIFY(application_->window().isVisible());
        QCOMPARE(QString::fromStdString(application_->controller().serialPort()->path()), port);
        QTRY_COMPARE_WITH_TIMEOUT(application_->controller().portState(), PortStatus::State::Open, kDeadlineMs);
        FrameWatch frames(second);
        QVERIFY(frames.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }));
    }
};

QTEST_MAIN(RemoteControlTests)
#include "RemoteControlTests.moc"
