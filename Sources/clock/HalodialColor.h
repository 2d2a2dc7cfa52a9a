#pragma once

#include <QColor>
#include <QString>

// How a tube colour travels to the clock: six upper-case hex digits, RRGGBB.
namespace HalodialColor {

// Each component is clamped to 0.0 ... 1.0 (a non-finite one counts as 0.0),
// scaled by 255 and rounded half away from zero, so the clock always gets
// exactly six digits and a frame never changes length because of a colour.
QString hexString(double red, double green, double blue);

// The colour's RGB components as Qt reports them; a colour held in another
// model (HSV, CMYK) is read through its RGB conversion, an invalid colour
// reads as black.
QString hexString(const QColor& color);

// The components in single precision, unscaled.
float R(const QColor& color);
float G(const QColor& color);
float B(const QColor& color);

}  // namespace HalodialColor
