#include "settings/TubeSettings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace {

struct Attribute {
    std::string_view name;
    float TubeSettings::*field;
};

// The one place that pairs names with fields, in the declared order.
constexpr std::array<Attribute, 18> attributes{{
    {"tube1r", &TubeSettings::tube1r}, {"tube1g", &TubeSettings::tube1g}, {"tube1b", &TubeSettings::tube1b},
    {"tube6b", &TubeSettings::tube6b}, {"tube6g", &TubeSettings::tube6g}, {"tube6r", &TubeSettings::tube6r},
    {"tube5b", &TubeSettings::tube5b}, {"tube5g", &TubeSettings::tube5g}, {"tube5r", &TubeSettings::tube5r},
    {"tube4b", &TubeSettings::tube4b}, {"tube4g", &TubeSettings::tube4g}, {"tube4r", &TubeSettings::tube4r},
    {"tube3b", &TubeSettings::tube3b}, {"tube3g", &TubeSettings::tube3g}, {"tube3r", &TubeSettings::tube3r},
    {"tube2b", &TubeSettings::tube2b}, {"tube2g", &TubeSettings::tube2g}, {"tube2r", &TubeSettings::tube2r},
}};

QString attributeName(int tube, char component)
{
    return QStringLiteral("tube%1%2").arg(tube).arg(QLatin1Char(component));
}

int eightBit(float component)
{
    if (!std::isfinite(component)) {
        return 0;
    }
    return static_cast<int>(std::lround(std::clamp(component, 0.0F, 1.0F) * 255.0F));
}

const Attribute* attributeNamed(const QString& name)
{
    for (const Attribute& attribute : attributes) {
        if (name == QLatin1String(attribute.name.data(), static_cast<qsizetype>(attribute.name.size()))) {
            return &attribute;
        }
    }
    return nullptr;
}

}  // namespace

QString TubeSettings::entityName()
{
    return QStringLiteral("TubeSettings");
}

TubeSettings::FetchRequest TubeSettings::fetchRequest()
{
    return {entityName()};
}

QStringList TubeSettings::attributeNames()
{
    QStringList names;
    for (const Attribute& attribute : attributes) {
        names << QString::fromLatin1(attribute.name.data(), static_cast<qsizetype>(attribute.name.size()));
    }
    return names;
}

std::optional<float> TubeSettings::value(const QString& name) const
{
    if (const Attribute* attribute = attributeNamed(name)) {
        return this->*(attribute->field);
    }
    return std::nullopt;
}

bool TubeSettings::setValue(const QString& name, float value)
{
    if (const Attribute* attribute = attributeNamed(name)) {
        this->*(attribute->field) = value;
        return true;
    }
    return false;
}

TubeSettings TubeSettings::fromColours(const std::array<QColor, 6>& colours)
{
    TubeSettings settings;
    for (int tube = 1; tube <= 6; ++tube) {
        const QColor rgb = colours[tube - 1].toRgb();
        settings.setValue(attributeName(tube, 'r'), static_cast<float>(rgb.red()) / 255.0F);
        settings.setValue(attributeName(tube, 'g'), static_cast<float>(rgb.green()) / 255.0F);
        settings.setValue(attributeName(tube, 'b'), static_cast<float>(rgb.blue()) / 255.0F);
    }
    return settings;
}

std::array<QColor, 6> TubeSettings::colours() const
{
    std::array<QColor, 6> colours;
    for (int tube = 1; tube <= 6; ++tube) {
        colours[tube - 1] = QColor(eightBit(*value(attributeName(tube, 'r'))), eightBit(*value(attributeName(tube, 'g'))),
                                   eightBit(*value(attributeName(tube, 'b'))));
    }
    return colours;
}
