#include "settings/SettingsStore.h"

#include <QStringList>
#include <QUrl>

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

namespace {

const QString tubesGroup = QStringLiteral("TubeSettings/");
const QString allTubesRed = QStringLiteral("AllTubes/r");
const QString allTubesGreen = QStringLiteral("AllTubes/g");
const QString allTubesBlue = QStringLiteral("AllTubes/b");
const QString lineEndingTagKey = QStringLiteral("LineEnding/tag");
const QString lineEndingAddKey = QStringLiteral("LineEnding/add");
const QString portIdentityKey = QStringLiteral("Port/identity");
const QString portNameKey = QStringLiteral("Port/name");
const QString portPathKey = QStringLiteral("Port/path");
const QString geometryKey = QStringLiteral("Window/geometry");
const QString syncKey = QStringLiteral("Sync/running");
const QString leadKey = QStringLiteral("Sync/lead");

std::optional<float> floatAt(const QSettings& settings, const QString& key)
{
    bool ok = false;
    const float value = settings.value(key).toFloat(&ok);
    return ok ? std::optional<float>(value) : std::nullopt;
}

}  // namespace

SettingsStore::SettingsStore()
{
    // Where QSettings keeps a user's INI file on Linux. Looked at before
    // QSettings reads it: reading a FIFO or a device would block start-up.
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
                         QCoreApplication::organizationName() + QLatin1Char('/') +
                         QCoreApplication::applicationName() + QStringLiteral(".conf");
    struct stat node {};
    if (::stat(QFile::encodeName(path).constData(), &node) == 0 && !S_ISREG(node.st_mode)) {
        readProblem_ = tr("cannot read the settings in %1: not a regular file; the defaults are used and nothing is "
                          "saved")
                           .arg(path);
        refusedPath_ = path;
        // Somewhere to keep this run's choices that no one reads again.
        scratch_ = std::make_unique<QTemporaryDir>();
        settings_ = std::make_unique<QSettings>(scratch_->filePath(QStringLiteral("halodial.conf")),
                                                QSettings::IniFormat);
        return;
    }
    settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QCoreApplication::organizationName(),
                                            QCoreApplication::applicationName());
    if (settings_->status() == QSettings::FormatError) {
        // QSettings would overwrite the file at the first write, and its
        // status stays at the format error, which would hide a failed write.
        // The broken file is kept beside, and this run starts afresh.
        const QString kept = path + QStringLiteral(".broken");
        settings_.reset();
        QFile::remove(kept);
        const bool moved = QFile::rename(path, kept);
        readProblem_ = moved ? tr("cannot read the settings in %1 (kept as %2); the defaults are used").arg(path, kept)
                             : tr("cannot read the settings in %1; the defaults are used").arg(path);
        settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QCoreApplication::organizationName(),
                                                QCoreApplication::applicationName());
    }
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::clear()
{
    settings_->clear();
}

bool SettingsStore::sync()
{
    if (!refusedPath_.isEmpty()) {
        return true;  // nothing is saved, as the read problem says
    }
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

std::optional<TubeSettings> SettingsStore::tubeSettings() const
{
    TubeSettings tubes;
    for (const QString& name : TubeSettings::attributeNames()) {
        const std::optional<float> value = floatAt(*settings_, tubesGroup + name);
        if (!value) {
            return std::nullopt;
        }
        tubes.setValue(name, *value);
    }
    return tubes;
}

void SettingsStore::setTubeSettings(const TubeSettings& tubes)
{
    for (const QString& name : TubeSettings::attributeNames()) {
        settings_->setValue(tubesGroup + name, *tubes.value(name));
    }
}

std::optional<QColor> SettingsStore::allTubesColour() const
{
    const auto red = floatAt(*settings_, allTubesRed);
    const auto green = floatAt(*settings_, allTubesGreen);
    const auto blue = floatAt(*settings_, allTubesBlue);
    if (!red || !green || !blue) {
        return std::nullopt;
    }
    // Through the record's rounding, as the tubes' colours are.
    TubeSettings one;
    one.tube1r = *red;
    one.tube1g = *green;
    one.tube1b = *blue;
    return one.colours()[0];
}

void SettingsStore::setAllTubesColour(const QColor& colour)
{
    const TubeSettings one = TubeSettings::fromColours({colour, colour, colour, colour, colour, colour});
    settings_->setValue(allTubesRed, one.tube1r);
    settings_->setValue(allTubesGreen, one.tube1g);
    settings_->setValue(allTubesBlue, one.tube1b);
}

std::optional<int> SettingsStore::lineEndingTag() const
{
    bool ok = false;
    const int tag = settings_->value(lineEndingTagKey).toInt(&ok);
    return ok ? std::optional<int>(tag) : std::nullopt;
}

void SettingsStore::setLineEndingTag(int tag)
{
    settings_->setValue(lineEndingTagKey, tag);
}

std::optional<bool> SettingsStore::addsLineEnding() const
{
    const QVariant value = settings_->value(lineEndingAddKey);
    return value.isValid() ? std::optional<bool>(value.toBool()) : std::nullopt;
}

void SettingsStore::setAddsLineEnding(bool adds)
{
    settings_->setValue(lineEndingAddKey, adds);
}

std::optional<SettingsStore::Port> SettingsStore::port() const
{
    Port port{settings_->value(portIdentityKey).toString(), settings_->value(portNameKey).toString(),
              settings_->value(portPathKey).toString()};
    return port.identity.isEmpty() ? std::nullopt : std::optional<Port>(port);
}

void SettingsStore::setPort(const Port& port)
{
    settings_->setValue(portIdentityKey, port.identity);
    settings_->setValue(portNameKey, port.name);
    settings_->setValue(portPathKey, port.path);
}

QByteArray SettingsStore::windowGeometry() const
{
    return settings_->value(geometryKey).toByteArray();
}

void SettingsStore::setWindowGeometry(const QByteArray& geometry)
{
    settings_->setValue(geometryKey, geometry);
}

bool SettingsStore::syncWasRunning() const
{
    return settings_->value(syncKey, false).toBool();
}

void SettingsStore::setSyncRunning(bool running)
{
    settings_->setValue(syncKey, running);
}

std::optional<int> SettingsStore::leadMilliseconds() const
{
    bool isNumber = false;
    const int lead = settings_->value(leadKey).toInt(&isNumber);
    return isNumber && lead >= 0 && lead <= maximumLeadMilliseconds ? std::optional<int>(lead) : std::nullopt;
}

void SettingsStore::setLeadMilliseconds(int milliseconds)
{
    settings_->setValue(leadKey, milliseconds);
}

namespace {

// A port's identity holds colons and slashes, which QSettings reads as
// groups: each port's key is its identity percent-encoded.
QString lineSettingsKey(const QString& identity)
{
    return QStringLiteral("LineSettings/") + QString::fromLatin1(QUrl::toPercentEncoding(identity));
}

}  // namespace

std::optional<LineSettings> SettingsStore::lineSettings(const QString& identity) const
{
    // "baud,parity,stop bits,flow control,raise": 115200,N,1,0,1.
    const QStringList fields = settings_->value(lineSettingsKey(identity)).toStringList();
    if (fields.size() != 5) {
        return std::nullopt;
    }
    LineSettings settings;
    bool ok = false;
    settings.baudRate = fields[0].toULong(&ok);
    const QString parity = fields[1];
    const QString stopBits = fields[2];
    const QString flow = fields[3];
    const QString raise = fields[4];
    const auto isSwitch = [](const QString& field) { return field == u'0' || field == u'1'; };
    if (!ok || settings.baudRate == 0 || (parity != u'N' && parity != u'O' && parity != u'E') ||
        (stopBits != u'1' && stopBits != u'2') || !isSwitch(flow) || !isSwitch(raise)) {
        return std::nullopt;
    }
    settings.parity = parity == u'O' ? VELSerialParityOdd : parity == u'E' ? VELSerialParityEven : VELSerialParityNone;
    settings.stopBits = stopBits == u'2' ? 2 : 1;
    settings.rtsCtsFlowControl = flow == u'1';
    settings.raisesModemLinesOnOpen = raise == u'1';
    return settings;
}

void SettingsStore::setLineSettings(const QString& identity, const LineSettings& settings)
{
    const QChar parity = settings.parity == VELSerialParityOdd    ? u'O'
                         : settings.parity == VELSerialParityEven ? u'E'
                                                                  : u'N';
    settings_->setValue(lineSettingsKey(identity),
                        QStringList{QString::number(settings.baudRate), QString(parity),
                                    QString::number(settings.stopBits), settings.rtsCtsFlowControl ? QStringLiteral("1") : QStringLiteral("0"),
                                    settings.raisesModemLinesOnOpen ? QStringLiteral("1") : QStringLiteral("0")});
}

QList<QPair<QString, QString>> SettingsStore::displayValues() const
{
    QList<QPair<QString, QString>> values;
    settings_->beginGroup(QStringLiteral("Display"));
    for (const QString& key : settings_->childKeys()) {
        // A hand-written "a,b,c" reads as a list.
        const QVariant value = settings_->value(key);
        values.append({key, value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                                     : value.toString()});
    }
    settings_->endGroup();
    return values;
}

void SettingsStore::setDisplayValues(const QList<QPair<QString, QString>>& values)
{
    settings_->beginGroup(QStringLiteral("Display"));
    for (const auto& [key, value] : values) {
        settings_->setValue(key, value);
    }
    settings_->endGroup();
}

std::optional<MqttSettings::Choice> SettingsStore::mqttChoice() const
{
    settings_->beginGroup(QStringLiteral("Mqtt"));
    const MqttSettings::Choice choice{settings_->value(QStringLiteral("url")).toString(),
                                      settings_->value(QStringLiteral("clientId")).toString(),
                                      settings_->value(QStringLiteral("prefix")).toString(),
                                      settings_->value(QStringLiteral("credentials")).toString(),
                                      settings_->value(QStringLiteral("ca")).toString()};
    settings_->endGroup();
    return choice.url.isEmpty() ? std::nullopt : std::optional(choice);
}

void SettingsStore::setMqttChoice(const MqttSettings::Choice& choice)
{
    settings_->remove(QStringLiteral("Mqtt"));
    if (choice.url.isEmpty()) {
        return;
    }
    settings_->beginGroup(QStringLiteral("Mqtt"));
    settings_->setValue(QStringLiteral("url"), choice.url);
    settings_->setValue(QStringLiteral("clientId"), choice.clientId);
    settings_->setValue(QStringLiteral("prefix"), choice.topicPrefix);
    settings_->setValue(QStringLiteral("credentials"), choice.credentialsFile);
    settings_->setValue(QStringLiteral("ca"), choice.caFile);
    settings_->endGroup();
}
