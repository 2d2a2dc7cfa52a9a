#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <array>
#include <optional>

#include "settings/SettingsStore.h"

class QWidget;
class PortLineSettings;
class SerialPortDemoController;

// Keeps the window's choices in the settings file: the six tube colours and
// the all-tubes colour, the line ending and its switch, the chosen port, the
// window geometry, whether the sync is running and the display settings (a
// value the file holds that is not valid is said in one line on standard
// error, and its default used). restore() puts them back
// at start; from then on each change the user makes is written at once, and
// saveAll() (when the run ends) writes everything. It never opens a port or
// starts the sync itself: the application decides that from what restore()
// reports. A settings file that cannot be read, or written, is said once on
// standard error. GUI thread; neither the controller nor the window is owned.
class SettingsKeeper : public QObject {
    Q_OBJECT

public:
    // Without a window (headless) the geometry is neither restored nor saved.
    SettingsKeeper(SerialPortDemoController& controller, QWidget* window, QObject* parent = nullptr);

    SettingsStore& store() { return store_; }

    // Colours, line ending and geometry into the window, then saving starts.
    // Returns the port chosen last time, if any.
    std::optional<SettingsStore::Port> restore();
    // Colours from the command line: one for every tube (and the all-tubes
    // well), or one per tube; saved as colours picked in the window are.
    void applyColours(const std::array<QColor, 6>& colours, bool oneForAll);
    // Each port's line settings are read from and written to the file;
    // `lineSettings` must outlive the keeper.
    void keepLineSettings(PortLineSettings& lineSettings);
    // The port path the command line gave, as given (a link stays a link):
    // the port it names is remembered by it.
    void setGivenPath(const QString& path) { givenPath_ = path; }
    // Everything as it stands now, then to the file.
    void saveAll();

private:
    void saveColours();
    void saveLineEnding();
    void restoreDisplay();
    void saveDisplay();
    void savePort();
    void write();
    bool syncIsRunning() const;

    QPointer<SerialPortDemoController> controller_;
    QPointer<QWidget> window_;
    SettingsStore store_;
    QString givenPath_;
    bool saving_ = false;
    bool writeProblemSaid_ = false;
};
