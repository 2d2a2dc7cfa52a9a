#include "remote/RemoteProperties.h"

#include <QCoreApplication>
#include <variant>

#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "display/DisplayText.h"
#include "ports/PortLabel.h"
#include "remote/RemoteArguments.h"
#include "remote/RemoteInterface.h"

namespace {

QString mustBe(const char* type)
{
    return QCoreApplication::translate("RemoteProperties", "the value must be %1").arg(QLatin1String(type));
}

}  // namespace

RemoteProperties::RemoteProperties(SerialPortDemoController& controller, bool hasWindow, QObject* parent)
    : QObject(parent), controller_(controller)
{
    SerialPortDemoController* c = &controller_;
    properties_ = {
        {QStringLiteral("Port"),
         [c] {
             const auto port = c->serialPort();
             return QVariant(port ? QString::fromStdString(port->path()) : QString());
         },
         {}},
        {QStringLiteral("PortLabel"),
         [c] {
             const auto port = c->serialPort();
             return QVariant(port ? PortLabel::of(port) : QString());
         },
         {}},
        {QStringLiteral("PortState"), [c] { return QVariant(RemoteArguments::portStateName(c->portState())); }, {}},
        {QStringLiteral("Status"), [c] { return QVariant(c->statusText()); }, {}},
        {QStringLiteral("Syncing"), [c] { return QVariant(c->isSyncing()); }, {}},
        {QStringLiteral("Colours"),
         [c] {
             const auto colours = c->tubeColours();
             return QVariant(colours ? RemoteArguments::colourNames(*colours) : QStringList());
         },
         {}},
        {QStringLiteral("LineEnding"), [c] { return QVariant(RemoteArguments::lineEndingName(c->lineEndingString())); },
         [c](const QVariant& value) {
             const auto ending = value.metaType() == QMetaType::fromType<QString>()
                 ? RemoteArguments::lineEnding(value.toString())
                 : std::nullopt;
             if (!ending) {
                 return mustBe("cr, lf or crlf");
             }
             c->setLineEndingString(*ending);
             return QString();
         }},
        {QStringLiteral("AddsLineEnding"), [c] { return QVariant(c->shouldAddLineEnding()); },
         [c](const QVariant& value) {
             if (value.metaType() != QMetaType::fromType<bool>()) {
                 return mustBe("a boolean");
             }
             c->setShouldAddLineEnding(value.toBool());
             return QString();
         }},
        {QStringLiteral("HasWindow"), [hasWindow] { return QVariant(hasWindow); }, {}},
        {QStringLiteral("ShownDigits"), [c] { return QVariant(c->displayState().customDigits); }, {}},
        {QStringLiteral("CountsDown"), [c] { return QVariant(c->countsDown()); }, {}},
    };
    for (const RemoteInterface::DisplayProperty& row : RemoteInterface::displayProperties) {
        const QString key = QLatin1String(row.key);
        properties_.push_back(
            {QLatin1String(row.property), [c, key] { return QVariant(DisplayText::value(key, c->displaySettings())); },
             [c, key](const QVariant& value) {
                 DisplaySettings settings = c->displaySettings();
                 if (value.metaType() != QMetaType::fromType<QString>()
                     || !DisplayText::apply(key, value.toString(), settings)) {
                     return QCoreApplication::translate("RemoteProperties", "'%1' is not %2")
                         .arg(value.toString(), DisplayText::expected(key));
                 }
                 c->setDisplaySettings(settings);
                 return QString();
             }});
    }
    const auto tell = [this] { emit mayHaveChanged(); };
    connect(c, &SerialPortDemoController::serialPortChanged, this, tell);
    connect(c, &SerialPortDemoController::portStateChanged, this, tell);
    connect(c, &SerialPortDemoController::statusChanged, this, tell);
    connect(c, &SerialPortDemoController::syncingChanged, this, tell);
    connect(c, &SerialPortDemoController::tubeColoursChanged, this, tell);
    connect(c, &SerialPortDemoController::lineEndingChanged, this, tell);
    connect(c, &SerialPortDemoController::shouldAddLineEndingChanged, this, tell);
    connect(c, &SerialPortDemoController::displaySettingsChanged, this, tell);
    connect(c, &SerialPortDemoController::displayStateChanged, this, tell);
}

const RemoteProperties::Property* RemoteProperties::find(const QString& name) const
{
    for (const Property& property : properties_) {
        if (property.name == name) {
            return &property;
        }
    }
    return nullptr;
}

QVariantMap RemoteProperties::values() const
{
    QVariantMap map;
    for (const Property& property : properties_) {
        map.insert(property.name, property.read());
    }
    return map;
}
