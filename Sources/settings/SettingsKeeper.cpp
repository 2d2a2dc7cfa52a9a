#include "settings/SettingsKeeper.h"

#include "ports/PortLineSettings.h"

#include <QComboBox>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <iostream>

#include "ColorWell.h"
#include "display/DisplayText.h"
#include "ports/PortIdentity.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"

namespace {

std::array<ColorWell*, 6> wellsOf(SerialPortDemoController& controller)
{
    return {controller.col1(), controller.col2(), controller.col3(),
            controller.col4(), controller.col5(), controller.col6()};
}

}  // namespace

SettingsKeeper::SettingsKeeper(SerialPortDemoController& controller, QWidget* window, QObject* parent)
    : QObject(parent), controller_(&controller), window_(window)
{
    if (!store_.readProblem().isEmpty()) {
        std::cerr << "halodial: " << store_.readProblem().toStdString() << std::endl;
    }
}

std::optional<SettingsStore::Port> SettingsKeeper::restore()
{
    SerialPortDemoController& controller = *controller_;
    const auto wells = wellsOf(controller);
    if (const auto tubes = store_.tubeSettings()) {
        controller.setTubeColours(tubes->colours());
    }
    if (const auto all = store_.allTubesColour(); all && controller.colall()) {
        controller.colall()->setColor(*all);
    }
    controller.showWellColoursInTubes();
    if (QComboBox* popUp = controller.lineEndingPopUpButton()) {
        if (const auto tag = store_.lineEndingTag(); tag && popUp->findData(*tag) >= 0) {
            popUp->setCurrentIndex(popUp->findData(*tag));
        }
    }
    if (const auto adds = store_.addsLineEnding()) {
        controller.setShouldAddLineEnding(*adds);
    }
    if (const auto lead = store_.leadMilliseconds()) {
        controller.setLeadMilliseconds(*lead);
    }
    restoreDisplay();
    if (window_ && !store_.windowGeometry().isEmpty()) {
        window_->restoreGeometry(store_.windowGeometry());
    }

    // From here on, what the user changes is kept. Queued behind the
    // controller's own handling, which may change more (all-tubes colour).
    for (ColorWell* well : wells) {
        if (well) {
            connect(well, &ColorWell::activated, this, &SettingsKeeper::saveColours, Qt::QueuedConnection);
        }
    }
    if (controller.colall()) {
        connect(controller.colall(), &ColorWell::activated, this, &SettingsKeeper::saveColours, Qt::QueuedConnection);
    }
    if (QComboBox* popUp = controller.lineEndingPopUpButton()) {
        connect(popUp, &QComboBox::currentIndexChanged, this, &SettingsKeeper::saveLineEnding);
    }
    connect(&controller, &SerialPortDemoController::shouldAddLineEndingChanged, this, &SettingsKeeper::saveLineEnding);
    connect(&controller, &SerialPortDemoController::serialPortChanged, this, &SettingsKeeper::savePort);
    connect(&controller, &SerialPortDemoController::displaySettingsChanged, this, &SettingsKeeper::saveDisplay);
    connect(&controller, &SerialPortDemoController::leadMillisecondsChanged, this, [this](int lead) {
        store_.setLeadMilliseconds(lead);
        write();
    });
    saving_ = true;
    return store_.port();
}

void SettingsKeeper::applyColours(const std::array<QColor, 6>& colours, bool oneForAll)
{
    SerialPortDemoController& controller = *controller_;
    controller.setTubeColours(colours);
    if (oneForAll && controller.colall()) {
        controller.colall()->setColor(colours[0]);
    }
    controller.showWellColoursInTubes();
    saveColours();
}

void SettingsKeeper::saveAll()
{
    if (!saving_) {
        return;
    }
    store_.setSyncRunning(syncIsRunning());
    if (window_) {
        store_.setWindowGeometry(window_->saveGeometry());
    }
    if (controller_) {
        store_.setLeadMilliseconds(controller_->leadMilliseconds());
    }
    saveColours();
    saveLineEnding();
    savePort();
    saveDisplay();
}

void SettingsKeeper::restoreDisplay()
{
    DisplaySettings display;
    QStringList rejected;
    for (const auto& [key, value] : store_.displayValues()) {
        // An unknown key is a later version's; a bad value is said.
        if (DisplayText::keys().contains(key) && !DisplayText::apply(key, value, display)) {
            rejected << QStringLiteral("%1=%2").arg(key, value);
        }
    }
    if (!rejected.isEmpty()) {
        std::cerr << "halodial: "
                  << tr("the settings in %1 hold display values that are not valid (%2); their defaults are used")
                         .arg(store_.fileName(), rejected.join(QStringLiteral(", ")))
                         .toStdString()
                  << std::endl;
    }
    controller_->setDisplaySettings(display);
}

void SettingsKeeper::saveDisplay()
{
    if (!controller_ || !saving_) {
        return;
    }
    store_.setDisplayValues(DisplayText::all(controller_->displaySettings()));
    write();
}

void SettingsKeeper::saveColours()
{
    if (!controller_) {
        return;
    }
    const auto colours = controller_->tubeColours();
    if (!colours) {
        return;
    }
    store_.setTubeSettings(TubeSettings::fromColours(*colours));
    if (controller_->colall()) {
        store_.setAllTubesColour(controller_->colall()->color());
    }
    write();
}

void SettingsKeeper::saveLineEnding()
{
    if (!controller_ || !saving_) {
        return;
    }
    if (QComboBox* popUp = controller_->lineEndingPopUpButton(); popUp && popUp->currentIndex() >= 0) {
        store_.setLineEndingTag(popUp->currentData().toInt());
    }
    store_.setAddsLineEnding(controller_->shouldAddLineEnding());
    write();
}

void SettingsKeeper::savePort()
{
    // A port that went away stays the choice: only another port replaces it.
    const auto port = controller_ ? controller_->serialPort() : nullptr;
    if (!port || !saving_) {
        return;
    }
    QString identity = PortIdentity::of(port);
    QString path = QString::fromStdString(port->path());
    // A device known by its path only, given as a link (socat's, a udev
    // rule's), is kept as the link: its target, a /dev/pts/N, names
    // nothing in the next run.
    if (!givenPath_.isEmpty() && identity.startsWith(QLatin1String("path:")) &&
        QFileInfo(givenPath_).canonicalFilePath() == path) {
        identity = QStringLiteral("path:") + givenPath_;
        path = givenPath_;
    }
    store_.setPort({identity, QString::fromStdString(port->name()), path});
    write();
}

void SettingsKeeper::keepLineSettings(PortLineSettings& lineSettings)
{
    lineSettings.setStorage([this](const QString& identity) { return store_.lineSettings(identity); },
                            [this](const QString& identity, const LineSettings& settings) {
                                store_.setLineSettings(identity, settings);
                                write();
                            });
}

void SettingsKeeper::write()
{
    // Said once a run: every choice writes, and the reason stays the same.
    if (!store_.sync() && !writeProblemSaid_) {
        writeProblemSaid_ = true;
        std::cerr << "halodial: " << tr("cannot write the settings to %1").arg(store_.fileName()).toStdString()
                  << std::endl;
    }
}

bool SettingsKeeper::syncIsRunning() const
{
    return controller_ && controller_->timer() && controller_->timer()->isActive();
}
