#include "remote/MqttSettings.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>
#include <QUrl>

std::variant<MqttSettings, QString> MqttSettings::fromUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        || parsed.host().isEmpty() || !parsed.userInfo().isEmpty()
        || (!parsed.path().isEmpty() && parsed.path() != "/")) {
        return QCoreApplication::translate("MqttSettings",
                                           "--mqtt needs mqtt://HOST[:PORT] or mqtts://HOST[:PORT], "
                                           "not '%1' (user and password go in --mqtt-credentials)")
            .arg(url);
    }
    MqttSettings settings;
    settings.tls = scheme == QLatin1String("mqtts");
    settings.host = parsed.host();
    settings.port = parsed.port(settings.tls ? defaultTlsPort : defaultPort);
    settings.topicPrefix = defaultTopicPrefix();
    return settings;
}

std::optional<QString> MqttSettings::readCredentials(const QString& path)
{
    struct stat node { };
    if (::stat(QFile::encodeName(path).constData(), &node) != 0 || !S_ISREG(node.st_mode)) {
        return QCoreApplication::translate("MqttSettings", "--mqtt-credentials: %1 is not a readable file").arg(path);
    }
    if ((node.st_mode & 07777) != 0600) {
        return QCoreApplication::translate("MqttSettings",
                                           "--mqtt-credentials: %1 has mode %2; it holds a password, so it must "
                                           "have mode 0600 (chmod 600 %1)")
            .arg(path)
            .arg(node.st_mode & 07777, 4, 8, QLatin1Char('0'));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QCoreApplication::translate("MqttSettings", "--mqtt-credentials: %1 is not a readable file").arg(path);
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.first().trimmed().isEmpty()) {
        return QCoreApplication::translate("MqttSettings",
                                           "--mqtt-credentials: %1 needs the user on its first line and the "
                                           "password on its second")
            .arg(path);
    }
    user = QString::fromUtf8(lines.value(0)).trimmed();
    password = QString::fromUtf8(lines.value(1));
    if (password.endsWith(QLatin1Char('\r'))) {
        password.chop(1);
    }
    return std::nullopt;
}

std::variant<MqttSettings, QString> MqttSettings::fromChoice(const Choice& choice)
{
    auto parsed = fromUrl(choice.url.trimmed());
    if (std::holds_alternative<QString>(parsed)) {
        return parsed;
    }
    MqttSettings settings = std::get<MqttSettings>(parsed);
    settings.clientId = choice.clientId.trimmed();
    settings.caFile = choice.caFile.trimmed();
    if (!choice.topicPrefix.trimmed().isEmpty()) {
        settings.topicPrefix = choice.topicPrefix.trimmed();
    }
    if (QString problem = prefixProblem(settings.topicPrefix); !problem.isEmpty()) {
        return problem;
    }
    if (!choice.credentialsFile.trimmed().isEmpty()) {
        if (auto problem = settings.readCredentials(choice.credentialsFile.trimmed())) {
            return *problem;
        }
    }
    return settings;
}

QString MqttSettings::prefixProblem(const QString& prefix)
{
    if (prefix.isEmpty() || prefix.contains(QLatin1Char('#')) || prefix.contains(QLatin1Char('+'))
        || prefix.endsWith(QLatin1Char('/'))) {
        return QCoreApplication::translate("MqttSettings",
                                           "the topic prefix needs a topic without + or # and without a trailing /, "
                                           "not '%1'")
            .arg(prefix);
    }
    return {};
}

QString MqttSettings::defaultTopicPrefix()
{
    return QStringLiteral("halodial/") + QSysInfo::machineHostName();
}
