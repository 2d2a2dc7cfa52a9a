#include "clock/ClockFrame.h"

#include "clock/HalodialColor.h"

QString ClockFrame::text(QChar lead, const std::array<QString, kTubeCount>& digits,
                         const std::array<QColor, kTubeCount>& colours)
{
    QString frame;
    frame.reserve(kPlainLength);
    frame += lead;
    for (int i = 0; i < kTubeCount; ++i) {
        frame += digits[i];
        frame += HalodialColor::hexString(colours[i]);
    }
    return frame;
}
