#include "remote/SingleInstance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QVariantMap>

#include "desktop/SessionBusProbe.h"
#include "remote/RemoteInterface.h"

namespace {

QDBusMessage callRunning(const QString& interface, const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(RemoteInterface::service), QString::fromLatin1(RemoteInterface::path), interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block,
                                              static_cast<int>(SingleInstance::callTimeout.count()));
}

}  // namespace

std::optional<SingleInstance::Running> SingleInstance::find()
{
    if (SessionBusProbe::probeSessionBus(busProbeDeadline) != SessionBusProbe::Outcome::Answers) {
        return std::nullopt;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(QString::fromLatin1(RemoteInterface::service));
    if (!owned.isValid() || !owned.value()) {
        return std::nullopt;
    }
    const QDBusMessage reply = callRunning(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"),
                                           {QString::fromLatin1(RemoteInterface::interface)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    return Running {properties.value(QStringLiteral("HasWindow")).toBool(),
                    properties.value(QStringLiteral("Port")).toString(),
                    properties.value(QStringLiteral("PortState")).toString()};
}

QString SingleInstance::handOver(const QString& portPath, bool open, bool sync)
{
    // The running window has a working directory of its own.
    const QString port = portPath.isEmpty() ? QString() : QFileInfo(portPath).absoluteFilePath();
    const QDBusMessage reply
        = callRunning(QString::fromLatin1(RemoteInterface::interface), QStringLiteral("Activate"), {port, open, sync});
    return reply.type() == QDBusMessage::ReplyMessage ? QString() : reply.errorMessage();
}

QString SingleInstance::serviceRunsMessage(const Running& running)
{
    const QString port
        = running.port.isEmpty() ? QCoreApplication::translate("SingleInstance", "no port") : running.port;
    return QCoreApplication::translate("SingleInstance",
                                       "Halodial already runs as a service for this user (port: %1, %2). "
                                       "Change it with halodialctl, "
                                       "or stop the service (systemctl --user stop halodial) before "
                                       "starting the window; "
                                       "--new-instance starts a window all the same.")
        .arg(port, running.portState);
}
