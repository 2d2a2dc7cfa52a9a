#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The stored form of the tube colours, entity "TubeSettings": one float per
// colour component of each tube, r, g and b (0.0 to 1.0), in the entity's
// declared order (tube 1, then tubes 6 down to 2, the latter blue first).
// SettingsStore keeps it under these attribute names.
class TubeSettings {
public:
    // What a store would be asked for: every object of the named entity.
    struct FetchRequest {
        QString entityName;
    };

    static QString entityName();
    static FetchRequest fetchRequest();
    // In the declared order.
    static QStringList attributeNames();

    // Empty, respectively false, for a name that is not an attribute.
    std::optional<float> value(const QString& name) const;
    bool setValue(const QString& name, float value);

    // Tube 1 to 6; the colours as the wells hold them, each component as its
    // 8-bit value over 255, and back, rounded to the nearest 8-bit value.
    static TubeSettings fromColours(const std::array<QColor, 6>& colours);
    std::array<QColor, 6> colours() const;

    float tube1r = 0;
    float tube1g = 0;
    float tube1b = 0;
    float tube6b = 0;
    float tube6g = 0;
    float tube6r = 0;
    float tube5b = 0;
    float tube5g = 0;
    float tube5r = 0;
    float tube4b = 0;
    float tube4g = 0;
    float tube4r = 0;
    float tube3b = 0;
    float tube3g = 0;
    float tube3r = 0;
    float tube2b = 0;
    float tube2g = 0;
    float tube2r = 0;
};
