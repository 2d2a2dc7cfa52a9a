#include "display/DisplayDialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QLayout>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QTimeEdit>

#include "display/DisplayText.h"
#include "ui_DisplayDialog.h"

namespace {

std::array<QSpinBox*, DisplaySettings::tubeCount> brightnessSpins(Ui::DisplayDialog& ui)
{
    return {ui.brightness1, ui.brightness2, ui.brightness3, ui.brightness4, ui.brightness5, ui.brightness6};
}

QTime timeOf(int minutes)
{
    return QTime(minutes / 60, minutes % 60);
}

int minutesOf(const QTime& time)
{
    return time.hour() * 60 + time.minute();
}

void select(QComboBox* combo, int value)
{
    combo->setCurrentIndex(std::max(0, combo->findData(value)));
}

}  // namespace

DisplayDialog::DisplayDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::DisplayDialog>())
{
    ui_->setupUi(this);
    fillLists();
    setSettings({});
    connectControls();
    setCountdownRunning(false);
}

DisplayDialog::~DisplayDialog() = default;

void DisplayDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (sized_) {
        return;
    }
    sized_ = true;
    // The groups scroll: on a small screen (800×600, or 1600×1000 at 200 %)
    // the dialog takes what there is, less room for a title bar, and the
    // rest scrolls; elsewhere it shows every group at once.
    // Room for a scroll bar each way: where the one is needed after all
    // (a style's frame, a font's rounding), it must not bring the other.
    const QMargins margins = layout()->contentsMargins();
    // The wrapped note makes the page's height depend on its width.
    QSize page = ui_->groupsPage->sizeHint();
    if (ui_->groupsPage->hasHeightForWidth()) {
        page.setHeight(std::max(page.height(), ui_->groupsPage->heightForWidth(page.width())));
    }
    page += QSize(2, 2) * ui_->groupsScroll->frameWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize wanted(page.width() + margins.left() + margins.right() + scrollBar,
                 page.height() + margins.top() + margins.bottom() + layout()->spacing() + scrollBar +
                     ui_->buttonBox->sizeHint().height());
    if (const QScreen* where = screen()) {
        constexpr int titleBar = 32;
        wanted = wanted.boundedTo(where->availableGeometry().size() - QSize(0, titleBar));
    }
    resize(wanted);
}

void DisplayDialog::fillLists()
{
    ui_->hoursCombo->addItem(tr("24 hours"), 0);
    ui_->hoursCombo->addItem(tr("12 hours"), 1);
    ui_->hoursCombo->addItem(tr("12 hours, no leading zero"), 2);
    using DateOrder = DisplaySettings::DateOrder;
    ui_->dateOrderCombo->addItem(tr("As the language has it"), int(DateOrder::Locale));
    ui_->dateOrderCombo->addItem(tr("Day, month, year"), int(DateOrder::DayMonthYear));
    ui_->dateOrderCombo->addItem(tr("Month, day, year"), int(DateOrder::MonthDayYear));
    ui_->dateOrderCombo->addItem(tr("Year, month, day"), int(DateOrder::YearMonthDay));
    using NightAction = DisplaySettings::NightAction;
    ui_->nightActionCombo->addItem(tr("Dim the tubes"), int(NightAction::Dim));
    ui_->nightActionCombo->addItem(tr("Show the night colour"), int(NightAction::Colour));
    ui_->nightActionCombo->addItem(tr("Turn the backlights off"), int(NightAction::Off));
    for (auto theme : {DisplaySettings::Theme::Own, DisplaySettings::Theme::NixieOrange, DisplaySettings::Theme::IceBlue,
                       DisplaySettings::Theme::Mint, DisplaySettings::Theme::Violet}) {
        ui_->themeCombo->addItem(DisplayText::themeName(theme), int(theme));
    }
    for (auto effect : {DisplaySettings::Effect::Static, DisplaySettings::Effect::Rainbow, DisplaySettings::Effect::HueWave,
                        DisplaySettings::Effect::Breathing, DisplaySettings::Effect::Pulse}) {
        ui_->effectCombo->addItem(DisplayText::effectName(effect), int(effect));
    }
    ui_->cycleWhenCombo->addItem(tr("Once a day"), 0);
    ui_->cycleWhenCombo->addItem(tr("Every few hours"), 1);
    ui_->countdownModeCombo->addItem(tr("For a duration"), 0);
    ui_->countdownModeCombo->addItem(tr("To a time of day"), 1);
    ui_->countdownDurationEdit->setTime(QTime(0, 5));
    ui_->countdownToEdit->setTime(QTime(12, 0));
}

void DisplayDialog::connectControls()
{
    const auto changed = [this] { edited(); };
    for (QComboBox* combo : findChildren<QComboBox*>()) {
        if (combo != ui_->countdownModeCombo) {
            connect(combo, &QComboBox::currentIndexChanged, this, changed);
        }
    }
    for (QSpinBox* spin : findChildren<QSpinBox*>()) {
        connect(spin, &QSpinBox::valueChanged, this, changed);
    }
    for (QTimeEdit* edit : {ui_->nightFromEdit, ui_->nightToEdit, ui_->cycleAtEdit}) {
        connect(edit, &QTimeEdit::timeChanged, this, changed);
    }
    for (QGroupBox* group : {ui_->dateGroup, ui_->nightGroup, ui_->cycleGroup}) {
        connect(group, &QGroupBox::toggled, this, changed);
    }
    connect(ui_->dateColourCheck, &QCheckBox::toggled, this, changed);
    connect(ui_->dateColourWell, &ColorWell::colorChanged, this, changed);
    connect(ui_->nightColourWell, &ColorWell::colorChanged, this, changed);
    connect(ui_->countdownModeCombo, &QComboBox::currentIndexChanged, this, &DisplayDialog::enableDependents);
    connect(ui_->countdownStartButton, &QPushButton::clicked, this, &DisplayDialog::startCountdown);
    connect(ui_->countdownStopButton, &QPushButton::clicked, this, &DisplayDialog::countdownStopRequested);
}

void DisplayDialog::setSettings(const DisplaySettings& s)
{
    filling_ = true;
    select(ui_->hoursCombo, !s.twelveHour ? 0 : s.leadingZero ? 1 : 2);
    ui_->dateGroup->setChecked(s.dateEveryMinutes > 0);
    ui_->dateEverySpin->setValue(s.dateEveryMinutes > 0 ? s.dateEveryMinutes : 1);
    ui_->dateSecondsSpin->setValue(s.dateSeconds);
    select(ui_->dateOrderCombo, int(s.dateOrder));
    ui_->dateColourCheck->setChecked(s.dateColour.isValid());
    if (s.dateColour.isValid()) {
        ui_->dateColourWell->setColor(s.dateColour);
    }
    ui_->nightGroup->setChecked(s.nightEnabled);
    ui_->nightFromEdit->setTime(timeOf(s.nightFrom));
    ui_->nightToEdit->setTime(timeOf(s.nightTo));
    select(ui_->nightActionCombo, int(s.nightAction));
    ui_->nightDimSpin->setValue(s.nightDimPercent);
    ui_->nightColourWell->setColor(s.nightColour);
    ui_->nightFadeSpin->setValue(s.nightFadeSeconds);
    select(ui_->themeCombo, int(s.theme));
    select(ui_->effectCombo, int(s.effect));
    ui_->speedSpin->setValue(s.effectSpeed);
    const auto spins = brightnessSpins(*ui_);
    for (int i = 0; i < DisplaySettings::tubeCount; ++i) {
        spins[i]->setValue(s.brightness[i]);
    }
    ui_->cycleGroup->setChecked(s.antiPoisoningEnabled);
    select(ui_->cycleWhenCombo, s.antiPoisoningEveryHours > 0 ? 1 : 0);
    ui_->cycleAtEdit->setTime(timeOf(s.antiPoisoningAt));
    ui_->cycleEverySpin->setValue(s.antiPoisoningEveryHours > 0 ? s.antiPoisoningEveryHours : 6);
    ui_->cycleSecondsSpin->setValue(s.antiPoisoningSeconds);
    filling_ = false;
    enableDependents();
}

DisplaySettings DisplayDialog::settings() const
{
    DisplaySettings s;
    const int hours = ui_->hoursCombo->currentData().toInt();
    s.twelveHour = hours != 0;
    s.leadingZero = hours != 2;
    s.dateEveryMinutes = ui_->dateGroup->isChecked() ? ui_->dateEverySpin->value() : 0;
    s.dateSeconds = ui_->dateSecondsSpin->value();
    s.dateOrder = DisplaySettings::DateOrder(ui_->dateOrderCombo->currentData().toInt());
    s.dateColour = ui_->dateColourCheck->isChecked() ? ui_->dateColourWell->color() : QColor();
    s.nightEnabled = ui_->nightGroup->isChecked() && ui_->nightFromEdit->time() != ui_->nightToEdit->time();
    s.nightFrom = minutesOf(ui_->nightFromEdit->time());
    s.nightTo = minutesOf(ui_->nightToEdit->time());
    s.nightAction = DisplaySettings::NightAction(ui_->nightActionCombo->currentData().toInt());
    s.nightDimPercent = ui_->nightDimSpin->value();
    s.nightColour = ui_->nightColourWell->color();
    s.nightFadeSeconds = ui_->nightFadeSpin->value();
    s.theme = DisplaySettings::Theme(ui_->themeCombo->currentData().toInt());
    s.effect = DisplaySettings::Effect(ui_->effectCombo->currentData().toInt());
    s.effectSpeed = ui_->speedSpin->value();
    const auto spins = brightnessSpins(*ui_);
    for (int i = 0; i < DisplaySettings::tubeCount; ++i) {
        s.brightness[i] = spins[i]->value();
    }
    s.antiPoisoningEnabled = ui_->cycleGroup->isChecked();
    s.antiPoisoningAt = minutesOf(ui_->cycleAtEdit->time());
    s.antiPoisoningEveryHours = ui_->cycleWhenCombo->currentData().toInt() == 1 ? ui_->cycleEverySpin->value() : 0;
    s.antiPoisoningSeconds = ui_->cycleSecondsSpin->value();
    return s;
}

void DisplayDialog::edited()
{
    if (filling_) {
        return;
    }
    enableDependents();
    emit settingsEdited(settings());
}

void DisplayDialog::enableDependents()
{
    // A checkable group turns its controls off one by one, and a control
    // turned on here would stay on: the group's switch comes first.
    const auto action = DisplaySettings::NightAction(ui_->nightActionCombo->currentData().toInt());
    const bool night = ui_->nightGroup->isChecked();
    ui_->nightDimSpin->setEnabled(night && action == DisplaySettings::NightAction::Dim);
    ui_->nightColourWell->setEnabled(night && action == DisplaySettings::NightAction::Colour);
    ui_->dateColourWell->setEnabled(ui_->dateGroup->isChecked() && ui_->dateColourCheck->isChecked());
    ui_->speedSpin->setEnabled(ui_->effectCombo->currentData().toInt() != int(DisplaySettings::Effect::Static));
    const bool cycle = ui_->cycleGroup->isChecked();
    const bool everyFewHours = ui_->cycleWhenCombo->currentData().toInt() == 1;
    ui_->cycleAtEdit->setEnabled(cycle && !everyFewHours);
    ui_->cycleEverySpin->setEnabled(cycle && everyFewHours);
    const bool toTime = ui_->countdownModeCombo->currentData().toInt() == 1;
    ui_->countdownDurationEdit->setEnabled(!toTime);
    ui_->countdownToEdit->setEnabled(toTime);
}

void DisplayDialog::startCountdown()
{
    if (ui_->countdownModeCombo->currentData().toInt() == 1) {
        emit countdownToRequested(ui_->countdownToEdit->time());
        return;
    }
    const int seconds = ui_->countdownDurationEdit->time().msecsSinceStartOfDay() / 1000;
    if (seconds > 0) {
        emit countdownForRequested(std::chrono::seconds(seconds));
    }
}

void DisplayDialog::setCountdownRunning(bool running)
{
    ui_->countdownStopButton->setEnabled(running);
    ui_->countdownState->setText(running ? tr("Counting down") : QString());
}

void DisplayDialog::showCountdownFinished()
{
    ui_->countdownState->setText(tr("Countdown finished"));
}
