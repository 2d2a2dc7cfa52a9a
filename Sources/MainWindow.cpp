#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QSpinBox>
#include <QMetaProperty>
#include <QStatusBar>
#include <array>
#include <limits>

#include "ports/PortListModel.h"
#include "ports/PortSelector.h"
#include "SerialPortDemoController.h"
#include "clock/TubeFieldValidator.h"
#include "console/LineStatusWidget.h"
#include "display/DisplayDialog.h"
#include "VELSerialPort.h"
#include "ui_MainWindow.h"
#include "HelpWindows.h"
#include "WindowMenus.h"
#include "console/LineSettingsDialog.h"
#include "ports/PortLineSettings.h"

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
    // Height to spare goes to the console's output; the tubes stay as they
    // are. The bar between them gives the user the choice.
    ui_->areaSplitter->setStretchFactor(0, 0);
    ui_->areaSplitter->setStretchFactor(1, 1);
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
    inputNote_ = new QLabel(this);
    inputNote_->setObjectName(QStringLiteral("inputNote"));
    inputNote_->setStyleSheet(QStringLiteral("color: #b02020"));
    inputNote_->setAccessibleName(tr("Problem with the text to send"));
    statusBar()->addWidget(inputNote_);
    syncStatus_ = new QLabel(this);
    syncStatus_->setObjectName(QStringLiteral("syncStatus"));
    syncStatus_->setAccessibleName(tr("Time sync"));
    statusBar()->addPermanentWidget(syncStatus_);
    loggingStatus_ = new QLabel(this);
    loggingStatus_->setObjectName(QStringLiteral("loggingStatus"));
    loggingStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    loggingStatus_->setAccessibleName(tr("Console log"));
    statusBar()->addPermanentWidget(loggingStatus_);
    nameControls();

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
    menus_ = new WindowMenus(*this, *ui_, controller);
    connect(menus_->manual(), &QAction::triggered, this, [this] { HelpWindows::showManual(this); });
    connect(menus_->about(), &QAction::triggered, this, [this] { HelpWindows::showAbout(this); });
    connect(menus_->mqtt(), &QAction::triggered, this, &MainWindow::mqttSettingsRequested);
    connectActions(controller);
    bindBaudRates(controller);
    bindLineEndingSwitch(controller);
    bindStatus(controller);
    bindSyncInfo(controller);
    bindConsole(controller);
    bindDisplay(controller);
    controller.showWellColoursInTubes();
    auto* model = new PortListModel(manager, this);
    new PortSelector(*ui_->portPopUpButton, *model, controller, this);
}

void MainWindow::bindDisplay(SerialPortDemoController& controller)
{
    controller_ = &controller;
    connect(ui_->displayButton, &QPushButton::clicked, this, &MainWindow::showDisplayDialog);
    connect(&controller, &SerialPortDemoController::countdownFinished, this, [this] {
        statusBar()->showMessage(tr("Countdown finished"), 10000);
        if (displayDialog_) {
            displayDialog_->showCountdownFinished();
        }
    });
}

DisplayDialog* MainWindow::displayDialog() const
{
    return displayDialog_;
}

void MainWindow::showDisplayDialog()
{
    if (!controller_) {
        return;
    }
    if (!displayDialog_) {
        SerialPortDemoController* controller = controller_;
        displayDialog_ = new DisplayDialog(this);
        displayDialog_->setSettings(controller->displaySettings());
        displayDialog_->setCountdownRunning(controller->countsDown());
        connect(displayDialog_, &DisplayDialog::settingsEdited, controller,
                &SerialPortDemoController::setDisplaySettings);
        connect(controller, &SerialPortDemoController::displaySettingsChanged, displayDialog_,
                [dialog = displayDialog_.data()](const DisplaySettings& settings) {
                    if (settings != dialog->settings()) {
                        dialog->setSettings(settings);
                    }
                });
        connect(controller, &SerialPortDemoController::displayStateChanged, displayDialog_,
                [dialog = displayDialog_.data(), controller] { dialog->setCountdownRunning(controller->countsDown()); });
        connect(displayDialog_, &DisplayDialog::countdownForRequested, controller,
                &SerialPortDemoController::startCountdown);
        connect(displayDialog_, &DisplayDialog::countdownToRequested, controller,
                &SerialPortDemoController::startCountdownTo);
        connect(displayDialog_, &DisplayDialog::countdownStopRequested, controller,
                &SerialPortDemoController::stopCountdown);
    }
    displayDialog_->show();
    displayDialog_->raise();
    displayDialog_->activateWindow();
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
    // Sync is a switch: pressed in, the time goes out; out again, it stops.
    connect(ui_->senddate, &QPushButton::clicked, &controller, [&controller](bool on) {
        if (on) {
            controller.senddate();
        } else {
            controller.stop();
        }
    });
    connect(ui_->stopButton, &QPushButton::clicked, &controller, &Controller::stop);
    connect(ui_->saveButton, &QPushButton::clicked, &controller, &Controller::save);
    connect(ui_->send1, &QPushButton::clicked, &controller, &Controller::send);
    // A pasted line goes out whole: QLineEdit cuts text at 32,767
    // characters unless told otherwise, and says nothing.
    ui_->sendTextField->setMaxLength(std::numeric_limits<int>::max());
    // Enter sends and empties the line, as a terminal does; the history
    // (Up) has it again. A line that could not be sent (malformed hex)
    // stays for mending.
    connect(ui_->sendTextField, &QLineEdit::returnPressed, &controller, [this, &controller] {
        controller.send();
        if (controller.console().inputError().isEmpty()) {
            ui_->sendTextField->clear();
        }
    });
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

void MainWindow::bindSyncInfo(SerialPortDemoController& controller)
{
    QSpinBox* lead = ui_->leadSpinBox;
    lead->setRange(0, static_cast<int>(TimeSync::maximumLead.count()));
    lead->setValue(controller.leadMilliseconds());
    connect(lead, &QSpinBox::valueChanged, &controller, &SerialPortDemoController::setLeadMilliseconds);
    connect(&controller, &SerialPortDemoController::leadMillisecondsChanged, lead, &QSpinBox::setValue);
    // The switch and the status line follow the sync, however it started
    // or stopped (Stop, the menu, a restored session).
    const auto showSync = [this](bool active) {
        ui_->senddate->setChecked(active);
        syncStatus_->setText(active ? tr("Syncing") : QString());
    };
    connect(controller.timer(), &TimeSync::activeChanged, this, showSync);
    showSync(controller.timer()->isActive());
    QLabel* state = ui_->systemClockLabel;
    state->setText(controller.systemClock().text());
    connect(&controller.systemClock(), &SystemClockWatch::textChanged, state, &QLabel::setText);
}

void MainWindow::bindBaudRates(SerialPortDemoController& controller)
{
    // The quick choice of the rate beside the port; the rest of the line
    // settings, and any other rate, in the Line settings dialog.
    lineSettings_ = new PortLineSettings(controller, this);
    QComboBox* band = ui_->band;
    for (const unsigned long rate : LineSettings::standardBaudRates()) {
        band->addItem(QString::number(rate), QVariant::fromValue(rate));
    }
    const auto show = [band](const LineSettings& settings) {
        int index = band->findData(QVariant::fromValue(settings.baudRate));
        if (index < 0) {
            band->addItem(QString::number(settings.baudRate), QVariant::fromValue(settings.baudRate));
            index = band->count() - 1;
        }
        band->setCurrentIndex(index);
    };
    show(lineSettings_->current());
    connect(lineSettings_, &PortLineSettings::changed, band, show);
    connect(band, &QComboBox::activated, lineSettings_, [this, band](int index) {
        LineSettings settings = lineSettings_->current();
        settings.baudRate = band->itemData(index).value<unsigned long>();
        lineSettings_->choose(settings);
    });
    const auto follow = [this, &controller] {
        const bool hasPort = controller.serialPort() != nullptr;
        ui_->band->setEnabled(hasPort);
        ui_->lineSettingsButton->setEnabled(hasPort);
        menus_->lineSettings()->setEnabled(hasPort);
    };
    connect(&controller, &SerialPortDemoController::serialPortChanged, this, follow);
    follow();
    connect(ui_->lineSettingsButton, &QPushButton::clicked, this, [this, &controller] { editLineSettings(controller); });
    connect(menus_->lineSettings(), &QAction::triggered, this, [this, &controller] { editLineSettings(controller); });
}

void MainWindow::editLineSettings(SerialPortDemoController& controller)
{
    const auto port = controller.serialPort();
    if (!port) {
        return;
    }
    // Window-modal and not waited for: the sync and the console go on.
    auto* dialog = new LineSettingsDialog(QString::fromStdString(port->name()), lineSettings_->current(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    std::weak_ptr<VELSerialPort> chosen = port;
    connect(dialog, &QDialog::accepted, this, [this, dialog, chosen, &controller] {
        // The port may have changed while the dialog was open.
        if (chosen.lock() == controller.serialPort()) {
            lineSettings_->choose(dialog->settings());
        }
    });
    dialog->open();
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
        // While a port is awaited, its Close ends the waiting.
        ui_->openCloseButton->setEnabled((hasPort && state != State::Opening) || state == State::Waiting);
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
    ui_->lineSettingsButton->setAccessibleName(tr("Line settings of the port"));
    ui_->senddate->setAccessibleName(tr("Sync the time"));
    ui_->localEchoCheckBox->setAccessibleName(tr("Show sent text in the output"));
    ui_->stopButton->setAccessibleName(tr("Stop the time sync"));
    ui_->saveButton->setAccessibleName(tr("Save the tubes in the clock"));
    ui_->sendTextField->setAccessibleName(tr("Text to send"));
    ui_->lineEndingPopUpButton->setAccessibleName(tr("Line ending"));
    ui_->addLineEndingCheckBox->setAccessibleName(tr("Add the line ending"));
    ui_->send1->setAccessibleName(tr("Send the text"));
    ui_->receivedDataTextView->setAccessibleName(tr("Received text"));
    ui_->hexViewCheckBox->setAccessibleName(tr("Show received bytes as hex"));
    ui_->timestampsCheckBox->setAccessibleName(tr("Show arrival times"));
    ui_->sendHexCheckBox->setAccessibleName(tr("Send the text as hex bytes"));
    ui_->logButton->setAccessibleName(tr("Log received bytes to a file"));
    ui_->logModePopUpButton->setAccessibleName(tr("Log mode"));
    ui_->clearButton->setAccessibleName(tr("Clear the output"));
}

void MainWindow::bindConsole(SerialPortDemoController& controller)
{
    ConsoleController& console = controller.console();
    console.history().attach(ui_->sendTextField);
    ui_->consoleSearchBar->setView(ui_->receivedDataTextView);

    connect(ui_->hexViewCheckBox, &QCheckBox::toggled, &console, &ConsoleController::setHexView);
    connect(ui_->timestampsCheckBox, &QCheckBox::toggled, &console, &ConsoleController::setShowsTimestamps);
    using LogMode = ConsoleController::LogMode;
    ui_->logModePopUpButton->addItem(tr("Received, raw"), QVariant::fromValue(static_cast<int>(LogMode::Received)));
    ui_->logModePopUpButton->addItem(tr("Both ways, raw"), QVariant::fromValue(static_cast<int>(LogMode::Both)));
    ui_->logModePopUpButton->addItem(tr("Both ways, marked > and < with times"),
                                     QVariant::fromValue(static_cast<int>(LogMode::Marked)));
    connect(ui_->logModePopUpButton, &QComboBox::currentIndexChanged, &console, [this, &console] {
        console.setLogMode(static_cast<LogMode>(ui_->logModePopUpButton->currentData().toInt()));
    });
    connect(ui_->localEchoCheckBox, &QCheckBox::toggled, &console, &ConsoleController::setLocalEcho);
    connect(ui_->sendHexCheckBox, &QCheckBox::toggled, &console, [this, &console](bool hex) {
        console.setSendsHex(hex);
        ui_->sendTextField->setPlaceholderText(hex ? tr("Hex bytes to send, such as 41 42 0D") : tr("Text to send"));
        console.checkInput(ui_->sendTextField->text());
    });
    // Checked as typed, so a malformed byte is named before Send is pressed.
    connect(ui_->sendTextField, &QLineEdit::textChanged, &console, &ConsoleController::checkInput);
    connect(&console, &ConsoleController::inputErrorChanged, this, [this](const QString& message) {
        inputNote_->setText(message);
        ui_->sendTextField->setStyleSheet(message.isEmpty() ? QString()
                                                            : QStringLiteral("QLineEdit { border: 1px solid #b02020; }"));
        ui_->sendTextField->setToolTip(message);
    });

    const auto toggleLog = [this, &controller] {
        if (controller.console().isLogging()) {
            controller.console().stopLogging();
        } else {
            chooseLogFile(controller);
        }
    };
    connect(ui_->logButton, &QPushButton::clicked, this, toggleLog);
    connect(menus_->log(), &QAction::triggered, this, toggleLog);
    connect(&console, &ConsoleController::loggingChanged, this, [this](bool logging, const QString& path) {
        ui_->logButton->setText(logging ? tr("Stop lo&g") : tr("Lo&g…"));
        menus_->log()->setText(logging ? tr("Stop &logging") : tr("&Log the console…"));
        loggingStatus_->setText(logging ? tr("Logging to %1").arg(QDir::toNativeSeparators(path)) : QString());
    });
    connect(&console, &ConsoleController::loggingFailed, loggingStatus_, &QLabel::setText);

    connect(ui_->clearButton, &QPushButton::clicked, &console, [&console] { console.clear(); });
}

void MainWindow::chooseLogFile(SerialPortDemoController& controller)
{
    // The log is appended to, so choosing an existing file is no overwrite.
    const QString path = QFileDialog::getSaveFileName(this, tr("Log the console to"), QDir::homePath(),
                                                      tr("Logs (*.log);;All files (*)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) {
        return;
    }
    // A name typed without an extension is a log all the same.
    controller.console().startLogging(QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".log") : path);
}
