#include "console/LineSettingsDialog.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>

#include "ui_LineSettingsDialog.h"

LineSettingsDialog::LineSettingsDialog(const QString& portName, const LineSettings& settings, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::LineSettingsDialog>())
{
    ui_->setupUi(this);
    setWindowTitle(tr("Line settings of %1").arg(portName));
    for (const unsigned long rate : LineSettings::standardBaudRates()) {
        ui_->baudRateBox->addItem(QString::number(rate), QVariant::fromValue(rate));
    }
    // Any rate the adapter can make, up to what termios can carry.
    ui_->baudRateBox->setValidator(new QIntValidator(1, 0x7fffffff, this));
    ui_->parityBox->addItem(tr("None"), QVariant::fromValue<int>(VELSerialParityNone));
    ui_->parityBox->addItem(tr("Odd"), QVariant::fromValue<int>(VELSerialParityOdd));
    ui_->parityBox->addItem(tr("Even"), QVariant::fromValue<int>(VELSerialParityEven));
    ui_->stopBitsBox->addItem(QStringLiteral("1"), 1);
    ui_->stopBitsBox->addItem(QStringLiteral("2"), 2);
    connect(ui_->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui_->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui_->buttonBox->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] { setSettings(LineSettings{}); });
    setSettings(settings);
}

LineSettingsDialog::~LineSettingsDialog() = default;

LineSettings LineSettingsDialog::settings() const
{
    LineSettings settings;
    bool ok = false;
    const unsigned long typed = ui_->baudRateBox->currentText().trimmed().toULong(&ok);
    settings.baudRate = ok && typed > 0 ? typed : shownRate_;
    settings.parity = static_cast<VELSerialParity>(ui_->parityBox->currentData().toInt());
    settings.stopBits = static_cast<std::size_t>(ui_->stopBitsBox->currentData().toInt());
    settings.rtsCtsFlowControl = ui_->flowControlCheckBox->isChecked();
    settings.raisesModemLinesOnOpen = ui_->raiseLinesCheckBox->isChecked();
    return settings;
}

void LineSettingsDialog::setSettings(const LineSettings& settings)
{
    shownRate_ = settings.baudRate;
    const int index = ui_->baudRateBox->findData(QVariant::fromValue(settings.baudRate));
    if (index >= 0) {
        ui_->baudRateBox->setCurrentIndex(index);
    } else {
        ui_->baudRateBox->setEditText(QString::number(settings.baudRate));
    }
    ui_->parityBox->setCurrentIndex(ui_->parityBox->findData(static_cast<int>(settings.parity)));
    ui_->stopBitsBox->setCurrentIndex(settings.stopBits == 2 ? 1 : 0);
    ui_->flowControlCheckBox->setChecked(settings.rtsCtsFlowControl);
    ui_->raiseLinesCheckBox->setChecked(settings.raisesModemLinesOnOpen);
}
