// The clock on a real MQTT broker: Debian's mosquitto on a free loopback
// port with a configuration of the test's own, the real headless service,
// the clock on pseudo-terminals behind a link (so that it can be unplugged
// and plugged in again), and mosquitto_sub/mosquitto_pub as Home
// Assistant's side; the window's MQTT dialog in-process, offscreen.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <map>
#include <memory>

#include "Application.h"
#include "MainWindow.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "remote/FrameWatch.h"
#include "remote/MqttBridge.h"
#include "remote/MqttDialog.h"
#include "settings/SettingsStore.h"
#include "support/PseudoTerminal.h"
#include "support/UniqueFd.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;
const QString prefix = QStringLiteral("halodial/test");

QString pathOf(const PseudoTerminal& terminal)
{
    return QString::fromStdString(terminal.path());
}

// Points `link` at `target`, replacing what it pointed at in one step.
bool pointLink(const QString& link, const QString& target)
{
    const QString fresh = link + u".new"_qs;
    QFile::remove(fresh);
    return QFile::link(target, fresh) && std::rename(QFile::encodeName(fresh), QFile::encodeName(link)) == 0;
}

// A loopback port nobody listens on now.
int freePort()
{
    vel::UniqueFd socket(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    return ntohs(address.sin_port);
}

// Debian's mosquitto with a configuration of its own, in a folder of its
// own; it can be killed and started again on the same port.
class Broker {
public:
    explicit Broker(const QString& extraConfig = {}) : port_(freePort())
    {
        QFile config(directory_.filePath(u"mosquitto.conf"_qs));
        config.open(QIODevice::WriteOnly);
        // As root mosquitto would become the user mosquitto, who cannot
        // read the files in this private folder.
        config.write(QStringLiteral("listener %1 127.0.0.1\npersistence false\n%2%3\n")
                         .arg(port_)
                         .arg(::geteuid() == 0 ? u"user root\n"_qs : QString())
                         .arg(extraConfig.isEmpty() ? u"allow_anonymous true"_qs : extraConfig)
                         .toUtf8());
    }
    ~Broker() { kill(); }

    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    QString directory() const { return directory_.path(); }
    int port() const { return port_; }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }

    // Started and listening.
    bool start()
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(u"/usr/sbin/mosquitto"_qs, {u"-c"_qs, directory_.filePath(u"mosquitto.conf"_qs)});
        return process_.waitForStarted() && QTest::qWaitFor([this] { return listens(); }, kDeadlineMs);
    }
    void kill()
    {
        process_.kill();
        process_.waitForFinished(kDeadlineMs);
    }

private:
    bool listens() const
    {
        vel::UniqueFd socket(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        return ::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    QTemporaryDir directory_;
    int port_;
    QProcess process_;
};

// Everything on the broker, as mosquitto_sub prints it: the last payload
// of each topic.
class Subscriber {
public:
    explicit Subscriber(const Broker& broker, const QStringList& login = {})
    {
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            while (process_.canReadLine()) {
                const QByteArray line = process_.readLine().chopped(1);
                const qsizetype space = line.indexOf(' ');
                last_[QString::fromUtf8(line.left(space))] = space < 0 ? QByteArray() : line.mid(space + 1);
            }
        });
        process_.start(u"mosquitto_sub"_qs,
                       QStringList {u"-h"_qs, u"127.0.0.1"_qs, u"-p"_qs, QString::number(broker.port()), u"-v"_qs,
                                    u"-t"_qs, u"#"_qs}
                           + login);
        process_.waitForStarted();
    }
    ~Subscriber()
    {
        process_.kill();
        process_.waitForFinished(kDeadlineMs);
    }

    QByteArray last(const QString& topic) const
    {
        const auto it = last_.find(topic);
        return it == last_.end() ? QByteArray() : it->second;
    }
    bool waitFor(const QString& topic, const QByteArray& payload, int deadline = kDeadlineMs)
    {
        return QTest::qWaitFor([&] { return last(topic) == payload; }, deadline);
    }
    std::map<QString, QByteArray> under(const QString& start) const
    {
        std::map<QString, QByteArray> found;
        for (const auto& [topic, payload] : last_) {
            if (topic.startsWith(start)) {
                found.emplace(topic, payload);
            }
        }
        return found;
    }

private:
    QProcess process_;
    std::map<QString, QByteArray> last_;
};

bool publish(const Broker& broker, const QString& topic, const QString& payload)
{
    QProcess process;
    process.start(
        u"mosquitto_pub"_qs,
        {u"-h"_qs, u"127.0.0.1"_qs, u"-p"_qs, QString::number(broker.port()), u"-t"_qs, topic, u"-m"_qs, payload});
    return process.waitForFinished(kDeadlineMs) && process.exitCode() == 0;
}

// The real headless service, on the link, with the broker.
class Service {
public:
    explicit Service(const QStringList& arguments)
    {
        process_.start(QStringLiteral(HALODIAL_BINARY),
                       QStringList {u"--headless"_qs, u"--reset-settings"_qs} + arguments);
        process_.waitForStarted();
    }
    ~Service()
    {
        process_.terminate();
        process_.waitForFinished(kDeadlineMs);
    }
    QProcess& process() { return process_; }
    QString errors()
    {
        errors_ += QString::fromUtf8(process_.readAllStandardError());
        return errors_;
    }

private:
    QProcess process_;
    QString errors_;
};

}  // namespace

class MqttTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vel::MainQueue::setShared(std::make_shared<QtMainQueue>()); }

    void theWindowsBrokerIsRememberedAcrossARestart()
    {
        Broker broker;
        QVERIFY(broker.start());
        Subscriber ha(broker);
        QTemporaryDir dir;
        const QString credentials = dir.filePath(u"credentials"_qs);
        QFile file(credentials);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("clock\nwindow-s3cret\n");
        file.close();
        QVERIFY(QFile::setPermissions(credentials, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        const QString windowPrefix = u"halodial/window"_qs;
        const auto run = [](bool reset) {
            auto application = std::make_unique<Application>(VELSerialPortManager::sharedSerialPortManager());
            ApplicationOptions options;
            options.remembersSettings = true;
            options.resetSettings = reset;
            return application->start(options) ? nullptr : std::move(application);
        };
        {
            const auto application = run(true);
            QVERIFY(application && !application->mqttBridge());
            application->window().findChild<QAction*>(u"mqttAction"_qs)->trigger();
            auto* dialog = application->window().findChild<MqttDialog*>();
            QVERIFY(dialog && dialog->isVisible());
            dialog->findChild<QLineEdit*>(u"mqttUrl"_qs)->setText(broker.url());
            dialog->findChild<QLineEdit*>(u"mqttPrefix"_qs)->setText(windowPrefix);
            dialog->findChild<QLineEdit*>(u"mqttCredentials"_qs)->setText(credentials);
            QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            // A credentials file others may read is refused where it is typed.
            ok->click();
            QVERIFY(dialog->isVisible());
            QVERIFY(dialog->findChild<QLabel*>(u"mqttProblem"_qs)->text().contains(u"mode 0604"_qs));
            QVERIFY(QFile::setPermissions(credentials, QFile::ReadOwner | QFile::WriteOwner));
            ok->click();
            QTRY_VERIFY_WITH_TIMEOUT(!application->window().findChild<MqttDialog*>(), kDeadlineMs);
            QVERIFY(ha.waitFor(windowPrefix + u"/availability"_qs, "online", 3 * kDeadlineMs));
        }
        QVERIFY(ha.waitFor(windowPrefix + u"/availability"_qs, "offline"));
        QFile kept(SettingsStore().fileName());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        const QByteArray keptText = kept.readAll();
        QVERIFY2(keptText.contains(QFile::encodeName(credentials)) && !keptText.contains("s3cret"), keptText.constData());

        {
            const auto again = run(false);
            QVERIFY(again && again->mqttBridge());
            QVERIFY(ha.waitFor(windowPrefix + u"/availability"_qs, "online", 3 * kDeadlineMs));
        }
        {
            const auto reset = run(true);
            QVERIFY(reset && !reset->mqttBridge());
        }
        QVERIFY(!SettingsStore().mqttChoice());
    }

    void theClockIsAnnouncedCommandedAndFollowed()
    {
        Broker broker;
        QVERIFY(broker.start());
        Subscriber ha(broker);
        QTemporaryDir dir;
        const QString link = dir.filePath(u"clock"_qs);
        PseudoTerminal first(PseudoTerminal::Slave::Closed);
        QVERIFY(pointLink(link, pathOf(first)));
        Service halodial(
            {u"--port"_qs, link, u"--sync"_qs, u"--wait"_qs, u"--mqtt"_qs, broker.url(), u"--mqtt-prefix"_qs, prefix});

        // Discovery: one device, every entity's topics under the prefix. The
        // start of a sanitised build on a busy machine may take a while.
        QVERIFY2(ha.waitFor(prefix + u"/availability"_qs, "online", 3 * kDeadlineMs), qPrintable(halodial.errors()));
        QVERIFY(ha.waitFor(prefix + u"/link"_qs, "online"));
        QTRY_COMPARE_WITH_TIMEOUT(ha.under(u"homeassistant/"_qs).size(), std::size_t {11}, kDeadlineMs);
        QStringList components;
        for (const auto& [topic, payload] : ha.under(u"homeassistant/"_qs)) {
            QJsonParseError error {};
            const QJsonObject config = QJsonDocument::fromJson(payload, &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, payload.constData());
            components << topic.section(u'/', 1, 1);
            QVERIFY(config.value(u"state_topic"_qs).toString().startsWith(prefix)
                    || config.value(u"command_topic"_qs).toString().startsWith(prefix));
            QCOMPARE(config.value(u"device"_qs)[u"identifiers"_qs][0].toString(), u"halodial_test"_qs);
        }
        QCOMPARE(components.count(u"light"_qs), 7);
        QCOMPARE(components.count(u"button"_qs), 1);
        QCOMPARE(components.count(u"sensor"_qs), 1);
        QCOMPARE(components.count(u"select"_qs), 1);
        QCOMPARE(components.count(u"switch"_qs), 1);
        QVERIFY(ha.waitFor(prefix + u"/mode/state"_qs, "24 hours"));
        QVERIFY(ha.waitFor(prefix + u"/night/state"_qs, "OFF"));

        // A command reaches the frames and its state comes back; a malformed
        // one is refused and changes nothing.
        FrameWatch frames(first);
        QVERIFY(publish(broker, prefix + u"/light/rgb/set"_qs, u"0,255,0"_qs));
        QVERIFY(frames.next([](const ClockFrame& f) { return FrameWatch::allColoured(f, 0x00FF00); }));
        QVERIFY(ha.waitFor(prefix + u"/tube6/rgb/state"_qs, "0,255,0"));
        QVERIFY(publish(broker, prefix + u"/light/rgb/set"_qs, u"0,255"_qs));
        QVERIFY(publish(broker, prefix + u"/tube2/rgb/set"_qs, u"0,0,255"_qs));
        QVERIFY(ha.waitFor(prefix + u"/tube2/rgb/state"_qs, "0,0,255"));
        QTRY_VERIFY_WITH_TIMEOUT(halodial.errors().contains(u"refused a message on halodial/test/light/rgb/set"_qs),
                                 kDeadlineMs);
        QCOMPARE(halodial.errors().count(u"refused"_qs), 1);
        QCOMPARE(ha.last(prefix + u"/tube1/rgb/state"_qs), QByteArray("0,255,0"));

        // The display: the light's effect, the mode's select, the night's
        // switch. Tubes 1 and 4 are both green; the rainbow sets them half
        // the spectrum apart.
        QVERIFY(publish(broker, prefix + u"/light/effect/set"_qs, u"rainbow"_qs));
        QVERIFY(frames.next([](const ClockFrame& f) { return f.colours[0] != f.colours[3]; }));
        QVERIFY(ha.waitFor(prefix + u"/light/effect/state"_qs, "rainbow"));
        QVERIFY(publish(broker, prefix + u"/mode/set"_qs, u"12 hours"_qs));
        QVERIFY(ha.waitFor(prefix + u"/mode/state"_qs, "12 hours"));
        QVERIFY(publish(broker, prefix + u"/night/set"_qs, u"ON"_qs));
        QVERIFY(ha.waitFor(prefix + u"/night/state"_qs, "ON"));
        QVERIFY(publish(broker, prefix + u"/mode/set"_qs, u"13 hours"_qs));
        QVERIFY(publish(broker, prefix + u"/light/effect/set"_qs, u"static"_qs));
        QVERIFY(frames.next([](const ClockFrame& f) { return f.colours[0] == f.colours[3]; }));
        QVERIFY(ha.waitFor(prefix + u"/light/effect/state"_qs, "static"));
        QTRY_COMPARE_WITH_TIMEOUT(halodial.errors().count(u"refused"_qs), 2, kDeadlineMs);
        QCOMPARE(ha.last(prefix + u"/mode/state"_qs), QByteArray("12 hours"));

        // The clock's link: offline while its device is gone, online again
        // when it is back.
        PseudoTerminal second(PseudoTerminal::Slave::Closed);
        first.hangUp();
        QVERIFY(ha.waitFor(prefix + u"/link"_qs, "offline"));
        QVERIFY(ha.waitFor(prefix + u"/port/state"_qs, "waiting"));
        QVERIFY(pointLink(link, pathOf(second)));
        QVERIFY(ha.waitFor(prefix + u"/link"_qs, "online"));
        FrameWatch resumed(second);
        QVERIFY(resumed.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }));

        // The broker goes away: the frames go on. It comes back empty: the
        // configs and the state are there again.
        broker.kill();
        for (int i = 0; i < 3; ++i) {
            QVERIFY(resumed.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }));
        }
        QVERIFY(broker.start());
        Subscriber again(broker);
        QVERIFY(again.waitFor(prefix + u"/availability"_qs, "online"));
        QVERIFY(again.waitFor(prefix + u"/tube2/rgb/state"_qs, "0,0,255"));
        QTRY_COMPARE_WITH_TIMEOUT(again.under(u"homeassistant/"_qs).size(), std::size_t {11}, 2 * kDeadlineMs);
        QVERIFY(resumed.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }));
        QCOMPARE(halodial.process().state(), QProcess::Running);
    }

    void aBrokerThatNeverAnswersCostsTheFramesNothing()
    {
        // Takes the connection (the kernel does, for the backlog) and never
        // says a word.
        vel::UniqueFd silent(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(silent.get(), reinterpret_cast<sockaddr*>(&address), length) == 0);
        QVERIFY(::listen(silent.get(), 4) == 0);
        QVERIFY(::getsockname(silent.get(), reinterpret_cast<sockaddr*>(&address), &length) == 0);
        PseudoTerminal terminal;
        Service halodial({u"--port"_qs, pathOf(terminal), u"--sync"_qs, u"--mqtt"_qs,
                          QStringLiteral("mqtt://127.0.0.1:%1").arg(ntohs(address.sin_port))});
        FrameWatch frames(terminal);
        // Every period's frame, well within a period or two of its time.
        QVERIFY(frames.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }));
        for (int i = 0; i < 15; ++i) {
            QVERIFY(frames.next([](const ClockFrame& f) { return f.kind == ClockFrame::Kind::Time; }, 1000));
        }
        QCOMPARE(halodial.process().state(), QProcess::Running);
    }

    void credentialsComeFromAPrivateFile()
    {
        QTemporaryDir dir;
        const QString passwords = dir.filePath(u"passwords"_qs);
        QProcess passwd;
        passwd.start(u"mosquitto_passwd"_qs, {u"-b"_qs, u"-c"_qs, passwords, u"clock"_qs, u"s3cret-word"_qs});
        QVERIFY(passwd.waitForFinished(kDeadlineMs) && passwd.exitCode() == 0);
        QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        Broker broker(QStringLiteral("allow_anonymous false\npassword_file %1").arg(passwords));
        QVERIFY(broker.start());
        PseudoTerminal terminal;

        const QString credentials = dir.filePath(u"credentials"_qs);
        QFile file(credentials);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("clock\ns3cret-word\n");
        file.close();
        QVERIFY(QFile::setPermissions(credentials,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        const QStringList arguments {u"--port"_qs, pathOf(terminal),    u"--sync"_qs, u"--mqtt"_qs,
                                     broker.url(), u"--mqtt-prefix"_qs, prefix,       u"--mqtt-credentials"_qs,
                                     credentials};
        {
            Service refused(arguments);
            QVERIFY(refused.process().waitForFinished(kDeadlineMs));
            QCOMPARE(refused.process().exitCode(), 2);
            QVERIFY2(refused.errors().contains(u"mode 0644"_qs), qPrintable(refused.errors()));
            QVERIFY(!refused.errors().contains(u"s3cret"_qs));
        }

        QVERIFY(QFile::setPermissions(credentials, QFile::ReadOwner | QFile::WriteOwner));
        Subscriber ha(broker, {u"-u"_qs, u"clock"_qs, u"-P"_qs, u"s3cret-word"_qs});
        Service accepted(arguments);
        QVERIFY2(ha.waitFor(prefix + u"/availability"_qs, "online", 3 * kDeadlineMs), qPrintable(accepted.errors()));
        QVERIFY(!accepted.errors().contains(u"s3cret"_qs));
    }
};

QTEST_MAIN(MqttTests)
#include "MqttTests.moc"
