// The controller's tube colours: the six wells (or, without a window, its
// own six colours), the tube fields that show them, and the colour actions.
#include "SerialPortDemoController.h"

#include <QLineEdit>
#include <QPalette>

#include "ColorWell.h"

namespace {

void setTextColour(QLineEdit* field, const QColor& colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text, colour);
    field->setPalette(palette);
}

}  // namespace

std::optional<std::array<QColor, SerialPortDemoController::tubeCount>> SerialPortDemoController::tubeColours() const
{
    if (!hasTubeOutlets_) {
        return ownColours_;
    }
    std::array<QColor, tubeCount> colours;
    for (int i = 0; i < tubeCount; ++i) {
        if (!wells_[i]) {
            return std::nullopt;
        }
        colours[i] = wells_[i]->color();
    }
    return colours;
}

void SerialPortDemoController::setTubeColours(const std::array<QColor, tubeCount>& colours)
{
    ownColours_ = colours;
    for (int i = 0; i < tubeCount; ++i) {
        if (wells_[i]) {
            wells_[i]->setColor(colours[i]);
        }
    }
    showWellColoursInTubes();
    timeSync_.refresh();
    if (!hasTubeOutlets_) {
        // Connected wells tell their changes themselves.
        emit tubeColoursChanged();
    }
}

void SerialPortDemoController::showWellColoursInTubes()
{
    for (int i = 0; i < tubeCount; ++i) {
        applyWellColourToTube(i);
    }
}

void SerialPortDemoController::applyWellColourToTube(int index)
{
    if (wells_[index] && tubes_[index]) {
        setTextColour(tubes_[index], wells_[index]->color());
    }
}

void SerialPortDemoController::colorall()
{
    if (!colall_) {
        return;
    }
    const QColor colour = colall_->color();
    for (const auto& well : wells_) {
        if (well) {
            well->setColor(colour);
        }
    }
    for (const auto& tube : tubes_) {
        if (tube) {
            setTextColour(tube, colour);
        }
    }
}

void SerialPortDemoController::colorc1()
{
    applyWellColourToTube(0);
}

void SerialPortDemoController::color2()
{
    applyWellColourToTube(1);
}

void SerialPortDemoController::color3()
{
    applyWellColourToTube(2);
}

void SerialPortDemoController::color4()
{
    applyWellColourToTube(3);
}

void SerialPortDemoController::color5()
{
    applyWellColourToTube(4);
}

void SerialPortDemoController::color6()
{
    applyWellColourToTube(5);
}
