#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QMetaProperty>
#include <QStatusBar>
#include <array>
#include <limits>

#include "PortListModel.h"
#include "PortSelector.h"
#include "SerialPortDemoController.h"
#include "TubeFieldValidator.h"
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
    auto* validator = new TubeFieldValidator(this);
    for (QLineEdit* tube : {ui_->tube1, ui_->tube2, ui_->tube3, ui_->tube4, ui_->tube5, ui_->tube6}) {
        darkenTube(tube);
        // The validator limits the length, in characters.
        tube->setMaxLength(std::numeric_limits<short>::max());
        tube->setValidator(validator);
    }
    statusLine_ = new QLabel(this);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setWordWrap(true);
    statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLine_->setAccessibleName(tr("Status"));
    statusBar()->addWidget(statusLine_, 1);
    nameControls();

    auto* quit = new QAction(tr("Quit"), this);
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    addAction(quit);
    ui_->lineEndingPopUpButton->addItem(QStringLiteral("\\r (CR)"), 0);
    ui_->lineEndingPopUpButton->addItem(QStringLiteral("\\n (LF)"), 1);
    ui_->lineEndingPopUpButton->addItem(QStringLiteral("\\r\\n (CR LF)"), 2);
    ui_->lineEndingPopUpButton->setCurrentIndex(1);
    ui_->receivedDataTextView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

MainWindow::~MainWindow() = default;

void MainWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    emit closed();
}

void MainWindow::connectController(SerialPortDemoController& controller, VELSerialPortManager& manager)
{
    connectOutlets(controller);
    connectActions(controller);
    bindBaudRates(controller);
    bindLineEndingSwitch(controller);
    bindStatus(controller);
    controller.showWellColoursInTubes();
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

void MainWindow::bindStatus(SerialPortDemoController& controller)
{
    using State = SerialPortDemoController::PortState;
    // Send and Save would send nothing to a port that is not open; Sync stays,
    // as the tubes show the running time with or without a port.
    const auto follow = [this](State state) {
        const bool hasPort = state != State::NoPort && state != State::Gone && state != State::Waiting;
        const bool open = state == State::Open;
        ui_->openCloseButton->setEnabled(hasPort && state != State::Opening);
        ui_->send1->setEnabled(open);
        ui_->saveButton->setEnabled(open);
    };
    connect(&controller, &SerialPortDemoController::portStateChanged, this, follow);
    connect(&controller, &SerialPortDemoController::statusChanged, statusLine_, &QLabel::setText);
    follow(controller.portState());
    statusLine_->setText(controller.statusText());
}

void MainWindow::nameControls()
{
    // Screen readers read these; several controls share a visible label or
    // have none (the tubes and wells), so each gets a name of its own.
    const std::array<QLineEdit*, 6> tubes{ui_->tube1, ui_->tube2, ui_->tube3, ui_->tube4, ui_->tube5, ui_->tube6};
    const std::array<ColorWell*, 6> wells{ui_->col1, ui_->col2, ui_->col3, ui_->col4, ui_->col5, ui_->col6};
    for (int i = 0; i < 6; ++i) {
        tubes[i]->setAccessibleName(tr("Tube %1 digit").arg(i + 1));
        wells[i]->setAccessibleName(tr("Colour of tube %1").arg(i + 1));
    }
    ui_->colall->setAccessibleName(tr("All tubes colour"));
    ui_->portPopUpButton->setAccessibleName(tr("Serial port"));
    ui_->band->setAccessibleName(tr("Baud rate"));
    ui_->openCloseButton->setAccessibleName(tr("Open or close the port"));
    ui_->helpButton->setAccessibleName(tr("Help"));
    ui_->senddate->setAccessibleName(tr("Sync the time"));
    ui_->stopButton->setAccessibleName(tr("Stop the time sync"));
    ui_->saveButton->setAccessibleName(tr("Save the tubes in the clock"));
    ui_->sendTextField->setAccessibleName(tr("Text to send"));
    ui_->lineEndingPopUpButton->setAccessibleName(tr("Line ending"));
    ui_->addLineEndingCheckBox->setAccessibleName(tr("Add the line ending"));
    ui_->send1->setAccessibleName(tr("Send the text"));
    ui_->receivedDataTextView->setAccessibleName(tr("Received text"));
}
