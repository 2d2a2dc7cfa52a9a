#include "HalodialClient.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "desktop/SessionBusProbe.h"
#include "remote/RemoteInterface.h"

namespace {

const QString service = QString::fromLatin1(RemoteInterface::service);
const QString path = QString::fromLatin1(RemoteInterface::path);
const QString interface = QString::fromLatin1(RemoteInterface::interface);
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// Receives PropertiesChanged while waitWhile runs its loop.
class ChangeListener : public QObject {
    Q_OBJECT

public:
    explicit ChangeListener(QEventLoop& loop) : loop_(loop) { }

public slots:
    void changed(const QString&, const QVariantMap&, const QStringList&) { loop_.quit(); }

private:
    QEventLoop& loop_;
};

}  // namespace

std::optional<HalodialClient> HalodialClient::connect(QString& problem)
{
    if (SessionBusProbe::probeSessionBus(busProbeDeadline) != SessionBusProbe::Outcome::Answers) {
        problem = QStringLiteral("Halodial is not running: no D-Bus session bus answers");
        return std::nullopt;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        problem = QStringLiteral("cannot join the D-Bus session bus: ") + bus.lastError().message();
        return std::nullopt;
    }
    const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(service);
    if (!registered.isValid() || !registered.value()) {
        problem = QStringLiteral("Halodial is not running (nothing owns %1 on the session bus)").arg(service);
        return std::nullopt;
    }
    return HalodialClient(bus);
}

std::optional<QString> HalodialClient::call(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus_.call(message, QDBus::Block, static_cast<int>(callTimeout.count()));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        return reply.errorMessage();
    }
    return std::nullopt;
}

std::optional<QString> HalodialClient::setProperty(const QString& name, const QVariant& value)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Set"));
    message << interface << name << QVariant::fromValue(QDBusVariant(value));
    const QDBusMessage reply = bus_.call(message, QDBus::Block, static_cast<int>(callTimeout.count()));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        return reply.errorMessage();
    }
    return std::nullopt;
}

std::optional<QVariantMap> HalodialClient::properties(QString& problem)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("GetAll"));
    message << interface;
    const QDBusMessage reply = bus_.call(message, QDBus::Block, static_cast<int>(callTimeout.count()));
    if (reply.type() == QDBusMessage::ErrorMessage || reply.arguments().isEmpty()) {
        problem = reply.errorMessage();
        return std::nullopt;
    }
    return qdbus_cast<QVariantMap>(reply.arguments().constFirst());
}

QVariant HalodialClient::waitWhile(const QString& property, const QVariant& value, std::chrono::milliseconds deadline)
{
    QEventLoop loop;
    ChangeListener listener(loop);
    bus_.connect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), &listener,
                 SLOT(changed(QString, QVariantMap, QStringList)));
    QTimer::singleShot(deadline, &loop, &QEventLoop::quit);
    const QDeadlineTimer until(deadline);
    QString problem;
    QVariant now;
    for (;;) {
        // Read after subscribing: a change in between is not missed.
        const auto all = properties(problem);
        now = all ? all->value(property) : QVariant();
        if (!all || now != value || until.hasExpired()) {
            break;
        }
        loop.exec();
    }
    bus_.disconnect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), &listener,
                    SLOT(changed(QString, QVariantMap, QStringList)));
    return now;
}

#include "HalodialClient.moc"
