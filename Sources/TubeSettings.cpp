#include "TubeSettings.h"

#include <array>
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
