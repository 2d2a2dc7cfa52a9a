#include "remote/RemoteControlObject.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QMetaType>
#include <QTimer>
#include <chrono>
#include <variant>

#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "remote/RemoteArguments.h"
#include "remote/RemoteInterface.h"

namespace {

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString ourInterface = QString::fromLatin1(RemoteInterface::interface);

}  // namespace

RemoteControlObject::RemoteControlObject(SerialPortDemoController& controller, Activator activator, QObject* parent)
    : QDBusVirtualObject(parent), controller_(controller), activator_(std::move(activator)),
      properties_(controller, static_cast<bool>(activator_))
{
    // Rows as in the interface's XML; a setting of the clock's is one more.
    methods_ = {
        {QStringLiteral("Open"), QStringLiteral("s"), [this](const QVariantList& a) { return open(a[0].toString()); }},
        {QStringLiteral("Close"), QString(), [this](const QVariantList&) { return close(); }},
        {QStringLiteral("StartSync"), QString(),
         [this](const QVariantList&) {
             controller_.senddate();
             return QString();
         }},
        {QStringLiteral("StopSync"), QString(),
         [this](const QVariantList&) {
             controller_.stop();
             return QString();
         }},
        {QStringLiteral("SetColours"), QStringLiteral("as"),
         [this](const QVariantList& a) {
             const auto colours = RemoteArguments::colours(a[0].toStringList());
             if (const QString* problem = std::get_if<QString>(&colours)) {
                 return *problem;
             }
             controller_.setTubeColours(std::get<RemoteArguments::Colours>(colours));
             return QString();
         }},
        {QStringLiteral("ShowDigits"), QStringLiteral("su"),
         [this](const QVariantList& a) {
             const QString digits = a[0].toString();
             if (QString problem = RemoteArguments::digitsProblem(digits); !problem.isEmpty()) {
                 return problem;
             }
             controller_.showDigits(digits, std::chrono::seconds(a[1].toUInt()));
             return QString();
         }},
        {QStringLiteral("ClearDigits"), QString(),
         [this](const QVariantList&) {
             controller_.clearShownDigits();
             return QString();
         }},
        {QStringLiteral("StartCountdown"), QStringLiteral("u"),
         [this](const QVariantList& a) {
             const quint32 seconds = a[0].toUInt();
             if (QString problem = RemoteArguments::countdownProblem(seconds); !problem.isEmpty()) {
                 return problem;
             }
             controller_.startCountdown(std::chrono::seconds(seconds));
             return QString();
         }},
        {QStringLiteral("StopCountdown"), QString(),
         [this](const QVariantList&) {
             controller_.stopCountdown();
             return QString();
         }},
        {QStringLiteral("Save"), QString(),
         [this](const QVariantList&) {
             controller_.save();
             return QString();
         }},
        {QStringLiteral("Activate"), QStringLiteral("sbb"),
         [this](const QVariantList& a) {
             if (!activator_) {
                 return QCoreApplication::translate("RemoteControlObject",
                                                    "this Halodial runs without a window (the headless service)");
             }
             return activator_(a[0].toString(), a[1].toBool(), a[2].toBool());
         }},
    };
    lastTold_ = properties_.values();
    connect(&properties_, &RemoteProperties::mayHaveChanged, this, &RemoteControlObject::scheduleChangeCheck);
}

void RemoteControlObject::setConnection(const QDBusConnection& connection)
{
    connection_ = connection;
    lastTold_ = properties_.values();
}

QString RemoteControlObject::interfaceXml()
{
    QFile file(QStringLiteral(":/remote/org.halodial.Halodial1.xml"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

QString RemoteControlObject::introspect(const QString& path) const
{
    if (path != QLatin1String(RemoteInterface::path)) {
        return {};
    }
    // Qt adds the node around it and the standard interfaces.
    static const QString element = [] {
        const QString xml = interfaceXml();
        const qsizetype begin = xml.indexOf(QLatin1String("<interface"));
        const qsizetype end = xml.lastIndexOf(QLatin1String("</interface>"));
        return begin < 0 || end < 0 ? QString() : xml.mid(begin, end - begin) + QLatin1String("</interface>\n");
    }();
    return element;
}

bool RemoteControlObject::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.path() != QLatin1String(RemoteInterface::path)) {
        return false;
    }
    if (message.interface() == propertiesInterface) {
        handleProperties(message, connection);
        return true;
    }
    if (message.interface() == ourInterface || message.interface().isEmpty()) {
        handleMethod(message, connection);
        return true;
    }
    return false;
}

void RemoteControlObject::handleMethod(const QDBusMessage& message, const QDBusConnection& connection)
{
    for (const Method& method : methods_) {
        if (method.name != message.member()) {
            continue;
        }
        if (message.signature() != method.signature) {
            connection.send(message.createErrorReply(
                QString::fromLatin1(RemoteInterface::invalidArgumentError),
                QCoreApplication::translate("RemoteControlObject", "%1 takes the arguments (%2), not (%3)")
                    .arg(method.name, method.signature, message.signature())));
            return;
        }
        const QString problem = method.run(message.arguments());
        if (problem.isEmpty()) {
            connection.send(message.createReply());
        } else {
            const bool refused = method.name == QLatin1String("Activate");
            connection.send(message.createErrorReply(
                QString::fromLatin1(refused ? RemoteInterface::refusedError : RemoteInterface::invalidArgumentError),
                problem));
        }
        return;
    }
    connection.send(message.createErrorReply(
        QDBusError::UnknownMethod,
        QCoreApplication::translate("RemoteControlObject", "no method %1 in %2").arg(message.member(), ourInterface)));
}

void RemoteControlObject::handleProperties(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QVariantList arguments = message.arguments();
    const QString member = message.member();
    if (member == QLatin1String("GetAll") && message.signature() == QLatin1String("s")) {
        if (arguments[0].toString() != ourInterface) {
            connection.send(message.createReply(QVariant::fromValue(QVariantMap())));
            return;
        }
        connection.send(message.createReply(QVariant::fromValue(properties_.values())));
        return;
    }
    const bool get = member == QLatin1String("Get") && message.signature() == QLatin1String("ss");
    const bool set = member == QLatin1String("Set") && message.signature() == QLatin1String("ssv");
    if (!get && !set) {
        connection.send(message.createErrorReply(
            QDBusError::UnknownMethod,
            QCoreApplication::translate("RemoteControlObject", "no method %1 in %2").arg(member, propertiesInterface)));
        return;
    }
    const RemoteProperties::Property* property = properties_.find(arguments[1].toString());
    if (arguments[0].toString() != ourInterface || !property) {
        connection.send(
            message.createErrorReply(QDBusError::UnknownProperty,
                                     QCoreApplication::translate("RemoteControlObject", "no property %1 in %2")
                                         .arg(arguments[1].toString(), arguments[0].toString())));
        return;
    }
    if (get) {
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(property->read()))));
        return;
    }
    if (!property->write) {
        connection.send(message.createErrorReply(
            QDBusError::PropertyReadOnly,
            QCoreApplication::translate("RemoteControlObject", "the property %1 is read-only").arg(property->name)));
        return;
    }
    const QString problem = property->write(arguments[2].value<QDBusVariant>().variant());
    if (!problem.isEmpty()) {
        connection.send(message.createErrorReply(
            QString::fromLatin1(RemoteInterface::invalidArgumentError),
            QCoreApplication::translate("RemoteControlObject", "%1: %2").arg(property->name, problem)));
        return;
    }
    connection.send(message.createReply());
}

void RemoteControlObject::scheduleChangeCheck()
{
    // A colour for all tubes arrives as six well changes: told once.
    if (checkScheduled_) {
        return;
    }
    checkScheduled_ = true;
    QTimer::singleShot(0, this, [this] { emitChanges(); });
}

void RemoteControlObject::emitChanges()
{
    checkScheduled_ = false;
    const QVariantMap now = properties_.values();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (lastTold_.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    lastTold_ = now;
    if (changed.isEmpty() || !connection_) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(RemoteInterface::path), propertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal << ourInterface << QVariant::fromValue(changed) << QStringList();
    connection_->send(signal);
}

QString RemoteControlObject::open(const QString& path)
{
    std::shared_ptr<VELSerialPort> port = controller_.serialPort();
    if (!path.isEmpty()) {
        port = VELSerialPort::initWithPath(path.toStdString());
        if (!port) {
            return QCoreApplication::translate("RemoteControlObject",
                                               "no serial port at %1: not a serial device or pseudo-terminal")
                .arg(path);
        }
    } else if (!port) {
        return QCoreApplication::translate("RemoteControlObject", "no port is chosen: give the port's path");
    }
    if (port != controller_.serialPort()) {
        controller_.setSerialPort(port);
    }
    if (!port->isOpen()) {
        controller_.openOrClosePort();
    }
    return {};
}

QString RemoteControlObject::close()
{
    const auto port = controller_.serialPort();
    const bool waiting = controller_.portState() == SerialPortDemoController::PortState::Waiting;
    if ((port && port->isOpen()) || waiting) {
        controller_.openOrClosePort();
    }
    return {};
}
