// halodialctl against the real headless service on a private session bus,
// with the clock on a pseudo-terminal: each command's effect on the frames
// and its exit status.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <memory>

#include "desktop/PrivateSessionBus.h"
#include "remote/FrameWatch.h"
#include "remote/RemoteInterface.h"
#include "support/PseudoTerminal.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;
const QString clientName = QStringLiteral("halodialctl-test-client");

struct Outcome {
    int status = -1;
    QString output;
    QString errors;
};

}  // namespace

class HalodialctlTests : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PrivateSessionBus> bus_;

    QProcessEnvironment environment(const QString& busAddress) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        return environment;
    }

    Outcome ctl(const QStringList& arguments, const QString& busAddress = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment(busAddress.isEmpty() ? bus_->address() : busAddress));
        process.start(QStringLiteral(HALODIALCTL_BINARY), arguments);
        if (!process.waitForFinished(3 * kDeadlineMs)) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

    bool serviceRuns() const
    {
        return QDBusConnection(clientName)
            .interface()
            ->isServiceRegistered(QString::fromLatin1(RemoteInterface::service));
    }

private slots:
    void initTestCase()
    {
        bus_ = std::make_unique<PrivateSessionBus>();
        QVERIFY(QDBusConnection::connectToBus(bus_->address(), clientName).isConnected());
    }

    void usageErrorsEndWithTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList {};
        QTest::newRow("unknown command") << QStringList {u"frobnicate"_qs};
        QTest::newRow("sync without a state") << QStringList {u"sync"_qs};
        QTest::newRow("sync maybe") << QStringList {u"sync"_qs, u"maybe"_qs};
        QTest::newRow("open without a port") << QStringList {u"open"_qs};
        QTest::newRow("json for a change") << QStringList {u"save"_qs, u"--json"_qs};
        QTest::newRow("unknown option") << QStringList {u"status"_qs, u"--yaml"_qs};
        QTest::newRow("show for no time") << QStringList {u"show"_qs, u"12"_qs, u"--for"_qs, u"soon"_qs};
        QTest::newRow("show clear and digits") << QStringList {u"show"_qs, u"12"_qs, u"--clear"_qs};
        QTest::newRow("for without show") << QStringList {u"save"_qs, u"--for"_qs, u"5"_qs};
        QTest::newRow("unknown display setting") << QStringList {u"display"_qs, u"colour"_qs, u"red"_qs};
    }

    void usageErrorsEndWithTwo()
    {
        QFETCH(QStringList, arguments);
        const Outcome outcome = ctl(arguments);
        QCOMPARE(outcome.status, 2);
        QVERIFY2(outcome.errors.startsWith(u"halodialctl: "_qs), qPrintable(outcome.errors));
    }

    void withoutHalodialItEndsWithOne()
    {
        QVERIFY(!serviceRuns());
        Outcome outcome = ctl({u"status"_qs});
        QCOMPARE(outcome.status, 1);
        QVERIFY2(outcome.errors.contains(u"Halodial is not running"_qs), qPrintable(outcome.errors));

        outcome = ctl({u"sync"_qs, u"on"_qs}, u"unix:path=/nonexistent/bus"_qs);
        QCOMPARE(outcome.status, 1);
        QVERIFY2(outcome.errors.contains(u"Halodial is not running"_qs), qPrintable(outcome.errors));
    }

    void eachCommandReachesTheClock()
    {
        PseudoTerminal terminal;
        const QString port = QString::fromStdString(terminal.path());
        QProcess halodial;
        halodial.setProcessEnvironment(environment(bus_->address()));
        halodial.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        halodial.start(QStringLiteral(HALODIAL_BINARY),
                       {u"--headless"_qs, u"--reset-settings"_qs, u"--port"_qs, port, u"--sync"_qs});
        const auto stop = qScopeGuard([&] {
            halodial.terminate();
            halodial.waitForFinished(kDeadlineMs);
        });
        QTRY_VERIFY_WITH_TIMEOUT(serviceRuns(), kDeadlineMs);
        FrameWatch frames(terminal);
        QVERIFY(frames.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }));

        QCOMPARE(ctl({u"colors"_qs, u"00FF00"_qs}).status, 0);
        QVERIFY(frames.next([](const ClockFrame& f) { return FrameWatch::allColoured(f, 0x00FF00); }));
        QCOMPARE(ctl({u"colors"_qs, u"FF0000,00FF00,0000FF,FFFF00,00FFFF,FF00FF"_qs}).status, 0);
        QVERIFY(frames.next(
            [](const ClockFrame& f) { return f.colours[0] == QColor(0xFF0000) && f.colours[5] == QColor(0xFF00FF); }));
        Outcome refused = ctl({u"colors"_qs, u"red"_qs});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.errors.contains(u"'red' is not a colour"_qs), qPrintable(refused.errors));

        QCOMPARE(ctl({u"save"_qs}).status, 0);
        QVERIFY(frames.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Save; }));

        const auto shows123456 = [](const ClockFrame& f) {
            return f.kind == ClockFrame::Kind::Time && f.digits[0] == u"1"_qs && f.digits[5] == u"6"_qs;
        };
        QCOMPARE(ctl({u"show"_qs, u"123456"_qs, u"--for"_qs, u"5"_qs}).status, 0);
        QVERIFY(frames.next(shows123456));
        QCOMPARE(ctl({u"show"_qs, u"--clear"_qs}).status, 0);
        QVERIFY(frames.next([&](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time && !shows123456(f); }));
        refused = ctl({u"show"_qs, u"1234567"_qs});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.errors.contains(u"'1234567' cannot be shown"_qs), qPrintable(refused.errors));

        QCOMPARE(ctl({u"display"_qs, u"hours"_qs, u"12-space"_qs}).status, 0);
        QCOMPARE(ctl({u"display"_qs, u"hours"_qs}).output, u"12-space\n"_qs);
        QVERIFY(ctl({u"display"_qs}).output.startsWith(u"hours 12-space\ndate-every off\n"_qs));
        refused = ctl({u"display"_qs, u"night"_qs, u"22:00"_qs});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.errors.contains(u"HH:MM-HH:MM"_qs), qPrintable(refused.errors));

        QCOMPARE(ctl({u"sync"_qs, u"off"_qs}).status, 0);
        terminal.drain(std::chrono::milliseconds(100));
        QVERIFY(terminal.staysSilentFor(std::chrono::milliseconds(600)));
        QCOMPARE(ctl({u"sync"_qs, u"on"_qs}).status, 0);
        QVERIFY(frames.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }));

        Outcome status = ctl({u"status"_qs, u"--json"_qs});
        QCOMPARE(status.status, 0);
        QJsonParseError error {};
        const QJsonObject json = QJsonDocument::fromJson(status.output.toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(status.output));
        QCOMPARE(json.value(u"Port"_qs).toString(), port);
        QCOMPARE(json.value(u"PortState"_qs).toString(), u"open"_qs);
        QCOMPARE(json.value(u"Syncing"_qs).toBool(), true);
        QCOMPARE(json.value(u"Colours"_qs).toVariant().toStringList().value(2), u"0000FF"_qs);

        QCOMPARE(ctl({u"close"_qs}).status, 0);
        QVERIFY(ctl({u"status"_qs}).output.contains(u"PortState: closed"_qs));
        terminal.drain(std::chrono::milliseconds(100));
        QVERIFY(terminal.staysSilentFor(std::chrono::milliseconds(600)));
        QCOMPARE(ctl({u"open"_qs, port}).status, 0);
        QVERIFY(frames.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }));
        refused = ctl({u"open"_qs, u"/nonexistent/tty"_qs});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.errors.contains(u"/nonexistent/tty"_qs), qPrintable(refused.errors));
        QCOMPARE(halodial.state(), QProcess::Running);

        // A window start gives way to the service, and says why.
        QProcess window;
        window.setProcessEnvironment(environment(bus_->address()));
        window.start(QStringLiteral(HALODIAL_BINARY), {u"--port"_qs, port});
        QVERIFY(window.waitForFinished(3 * kDeadlineMs));
        QCOMPARE(window.exitCode(), 1);
        const QString said = QString::fromUtf8(window.readAllStandardError());
        QVERIFY2(said.contains(u"already runs as a service"_qs) && said.contains(port), qPrintable(said));
    }
};

QTEST_MAIN(HalodialctlTests)
#include "HalodialctlTests.moc"
