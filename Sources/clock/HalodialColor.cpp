#include "clock/HalodialColor.h"

#include <algorithm>
#include <cmath>

namespace HalodialColor {

namespace {

int byteOf(double component)
{
    const double bounded = std::isfinite(component) ? std::clamp(component, 0.0, 1.0) : 0.0;
    return static_cast<int>(std::round(bounded * 255.0));
}

}  // namespace

QString hexString(double red, double green, double blue)
{
    return QString::asprintf("%02X%02X%02X", byteOf(red), byteOf(green), byteOf(blue));
}

QString hexString(const QColor& color)
{
    return hexString(color.redF(), color.greenF(), color.blueF());
}

float R(const QColor& color)
{
    return static_cast<float>(color.redF());
}

float G(const QColor& color)
{
    return static_cast<float>(color.greenF());
}

float B(const QColor& color)
{
    return static_cast<float>(color.blueF());
}

}  // namespace HalodialColor
