#include "ports/PortSelector.h"

#include <QComboBox>

#include "ports/PortLabel.h"
#include "ports/PortListModel.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"

PortSelector::PortSelector(QComboBox& comboBox, PortListModel& model, SerialPortDemoController& controller,
                           QObject* parent)
    : QObject(parent), comboBox_(&comboBox), model_(&model), controller_(&controller)
{
    comboBox.setModel(&model);
    // activated, not currentIndexChanged: only the user's choice may store a
    // port, never the combo box reacting to rows that come and go.
    connect(&comboBox, &QComboBox::activated, this, &PortSelector::userChose);
    // Connected after setModel, so these run after the combo box's own
    // handling of a change, which may have moved its current row (it picks
    // the first row of a list that was empty, the next one when the current
    // row goes).
    connect(&model, &QAbstractItemModel::rowsInserted, this, &PortSelector::showControllersPort);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &PortSelector::showControllersPort);
    connect(&model, &QAbstractItemModel::modelReset, this, &PortSelector::showControllersPort);
    connect(&controller, &SerialPortDemoController::serialPortChanged, this, &PortSelector::showControllersPort);
    showControllersPort();
}

void PortSelector::userChose(int row)
{
    if (!model_ || !controller_) {
        return;
    }
    const auto port = model_->portAt(row);
    if (port != controller_->serialPort()) {
        controller_->setSerialPort(port);
    }
}

void PortSelector::showControllersPort()
{
    if (!comboBox_ || !model_ || !controller_) {
        return;
    }
    const auto port = controller_->serialPort();
    comboBox_->setPlaceholderText(port ? PortLabel::of(port) : tr("Choose a port"));
    comboBox_->setCurrentIndex(model_->rowOf(port));
}
