#include "MainWindow.h"

#include <QFontDatabase>
#include <QMetaProperty>
#include <array>

#include "PortListModel.h"
#include "PortSelector.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "ui_MainWindow.h"

namespace {

// The tubes are dark glass; the digit's colour is the tube's backlight,
// which the controller sets as the field's text colour.
void darkenTube(QLineEdit* tube)
{
    QPalette palette = tube->palette();
    palette.setColor(QPalette::Base, QColor(24, 22, 20));
    palette.setColor(QPalette::Text, Qt::white);
    tube->setPalette(palette);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>())
{
    ui_->setupUi(this);
    for (QLineEdit* tube : {ui_->tube1, ui_->tube2, ui_->tube3, ui_->tube4, ui_->tube5, ui_->tube6}) {
        darkenTube(tube);
    }
    ui_->lineEndingPopUpButton->addItem(QStringLiteral("\\r (CR)"), 0);
    ui_->lineEndingPopUpButton->addItem(QStringLiteral("\\n (LF)"), 1);
    ui_->lineEndingPopUpButton->addItem(QStringLiteral("\\r\\n (CR LF)"), 2);
    ui_->lineEndingPopUpButton->setCurrentIndex(1);
    ui_->receivedDataTextView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

MainWindow::~MainWindow() = default;

void MainWindow::connectController(SerialPortDemoController& controller, VELSerialPortManager& manager)
{
    connectOutlets(controller);
    connectActions(controller);
    bindBaudRates(controller);
    bindLineEndingSwitch(controller);
    auto* model = new PortListModel(manager, this);
    new PortSelector(*ui_->portPopUpButton, *model, controller, this);
}

void MainWindow::connectOutlets(SerialPortDemoController& controller)
{
    const QMetaObject* meta = controller.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isWritable() || !(property.metaType().flags() & QMetaType::PointerToQObject)) {
            continue;
        }
        const QString name = QString::fromLatin1(property.name());
        QObject* control = name == QLatin1String("win") ? this : findChild<QObject*>(name);
        if (control) {
            property.write(&controller, QVariant::fromValue(control));
        }
    }
}

void MainWindow::connectActions(SerialPortDemoController& controller)
{
    using Controller = SerialPortDemoController;
    connect(ui_->openCloseButton, &QPushButton::clicked, &controller, &Controller::openOrClosePort);
    connect(ui_->helpButton, &QPushButton::clicked, &controller, &Controller::help);
    connect(ui_->senddate, &QPushButton::clicked, &controller, &Controller::senddate);
    connect(ui_->stopButton, &QPushButton::clicked, &controller, &Controller::stop);
    connect(ui_->saveButton, &QPushButton::clicked, &controller, &Controller::save);
    connect(ui_->send1, &QPushButton::clicked, &controller, &Controller::send);
    connect(ui_->sendTextField, &QLineEdit::returnPressed, &controller, &Controller::send);
    connect(ui_->colall, &ColorWell::activated, &controller, &Controller::colorall);
    const std::array<std::pair<ColorWell*, void (Controller::*)()>, 6> wells{{
        {ui_->col1, &Controller::colorc1},
        {ui_->col2, &Controller::color2},
        {ui_->col3, &Controller::color3},
        {ui_->col4, &Controller::color4},
        {ui_->col5, &Controller::color5},
        {ui_->col6, &Controller::color6},
    }};
    for (const auto& [well, action] : wells) {
        connect(well, &ColorWell::activated, &controller, action);
    }
}

void MainWindow::bindBaudRates(SerialPortDemoController& controller)
{
    QComboBox* band = ui_->band;
    for (const int rate : controller.availableBaudRates()) {
        band->addItem(QString::number(rate), rate);
    }
    connect(band, &QComboBox::activated, &controller, [band, &controller](int index) {
        if (const auto port = controller.serialPort(); port && index >= 0) {
            port->setBaudRate(band->itemData(index).toULongLong());
        }
    });
    // The selector shows the chosen port's rate; with no port, the default.
    connect(&controller, &SerialPortDemoController::serialPortChanged, band, [band, &controller] {
        if (const auto port = controller.serialPort()) {
            band->setCurrentIndex(band->findData(QVariant::fromValue(static_cast<int>(port->baudRate()))));
        }
    });
}

void MainWindow::bindLineEndingSwitch(SerialPortDemoController& controller)
{
    QCheckBox* box = ui_->addLineEndingCheckBox;
    box->setChecked(controller.shouldAddLineEnding());
    connect(box, &QCheckBox::toggled, &controller, &SerialPortDemoController::setShouldAddLineEnding);
    connect(&controller, &SerialPortDemoController::shouldAddLineEndingChanged, box, &QCheckBox::setChecked);
}
