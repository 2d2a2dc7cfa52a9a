#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <vector>

#include "remote/RemoteProperties.h"

class QDBusMessage;
class SerialPortDemoController;

// The object /org/halodial/Halodial: the interface org.halodial.Halodial1
// over the controller, with its properties (RemoteProperties) through
// org.freedesktop.DBus.Properties, and PropertiesChanged after every change
// of them, whoever made it. The changes of one turn of the event loop go
// out as one signal.
//
// Each call is answered at once, on the GUI thread, without waiting for
// anything: an Open is answered when the opening has begun, and its outcome
// shows in PortState. A bad argument (or a signature other than the
// method's) is answered with the InvalidArgument error, whose message says
// what is wrong, before anything changes.
class RemoteControlObject : public QDBusVirtualObject {
    Q_OBJECT

public:
    // What Activate does: raise the window and take over a second start's
    // port, open and sync. Returns what is wrong, empty when done. Without
    // one (the headless service) Activate is refused.
    using Activator = std::function<QString(const QString& port, bool open, bool sync)>;

    RemoteControlObject(SerialPortDemoController& controller, Activator activator, QObject* parent = nullptr);

    // The connection PropertiesChanged goes out on; none before it is set.
    void setConnection(const QDBusConnection& connection);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // The interface as data/dbus/org.halodial.Halodial1.xml declares it.
    static QString interfaceXml();

private:
    struct Method {
        QString name;
        QString signature;
        // What is wrong with the call, empty when it is done.
        std::function<QString(const QVariantList& arguments)> run;
    };

    void handleProperties(const QDBusMessage& message, const QDBusConnection& connection);
    void handleMethod(const QDBusMessage& message, const QDBusConnection& connection);
    void scheduleChangeCheck();
    void emitChanges();
    QString open(const QString& path);
    QString close();

    SerialPortDemoController& controller_;
    Activator activator_;
    RemoteProperties properties_;
    std::vector<Method> methods_;
    QVariantMap lastTold_;
    bool checkScheduled_ = false;
    std::optional<QDBusConnection> connection_;
};
