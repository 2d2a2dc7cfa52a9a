#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <stdexcept>

// A dbus-daemon of our own without service files, so nothing is started on
// demand: a name has an owner only if the test gives it one.
class PrivateSessionBus {
public:
    static constexpr int startDeadlineMs = 10000;

    PrivateSessionBus()
    {
        QFile config(directory_.filePath(QStringLiteral("bus.conf")));
        if (!directory_.isValid() || !config.open(QIODevice::WriteOnly)) {
            throw std::runtime_error("cannot write the bus configuration");
        }
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                    "<auth>EXTERNAL</auth><policy context=\"default\">"
                                    "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow "
                                    "eavesdrop=\"true\"/>"
                                    "<allow own=\"*\"/></policy></busconfig>\n")
                         .arg(directory_.path())
                         .toUtf8());
        config.close();
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--print-address"),
                       QStringLiteral("--nofork")});
        const QDeadlineTimer deadline(startDeadlineMs);
        while (!daemon_.canReadLine() && daemon_.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            daemon_.waitForReadyRead(100);
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        if (address_.isEmpty()) {
            throw std::runtime_error("dbus-daemon gave no address");
        }
    }

    ~PrivateSessionBus()
    {
        daemon_.terminate();
        daemon_.waitForFinished(startDeadlineMs);
    }

    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    const QString& address() const { return address_; }

private:
    QTemporaryDir directory_;
    QProcess daemon_;
    QString address_;
};
