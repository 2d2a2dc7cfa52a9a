#pragma once

#include <QColor>
#include <QList>
#include <QPair>
#include <QString>
#include <QTime>
#include <chrono>
#include <array>
#include <optional>

#include "remote/MqttSettings.h"

// What the command line asks of a Halodial run.
struct ApplicationOptions {
    // Start the built-in virtual clock and show its window.
    bool simulate = false;
    // The port to choose at start (any terminal device path); empty: the
    // virtual clock's when simulating, else none.
    QString portPath;
    // Open the chosen port, as the Open button does.
    bool open = false;
    // Start the time sync, as the Sync button does; without a window it
    // opens the port as well, as nobody could press Open.
    bool sync = false;
    // No one sees the window (-platform offscreen, --headless): problems go
    // to standard error, and a port that fails to open or goes away ends the
    // run with status 1 unless it is awaited.
    bool headless = false;
    // When the port's device goes away, wait for it to come back and reopen
    // it (ReconnectWatcher). The window always does; a headless run with
    // --wait.
    bool reconnects = false;
    // --wait: also wait for a --port device that is absent at start, and
    // implies reconnects.
    bool wait = false;
    // Restore the window's choices from the settings file at start and keep
    // them there (SettingsKeeper). The process does; tests choose.
    bool remembersSettings = false;
    // --reset-settings: start from the defaults.
    bool resetSettings = false;
    // --colors: the six tube colours, and whether they were one colour for
    // every tube (then also the all-tubes colour).
    std::optional<std::array<QColor, 6>> colours;
    bool coloursOneForAll = false;
    // --lead-ms: the time sync's extra lead, 0 to 100 ms; kept like the
    // window's choice.
    std::optional<int> leadMilliseconds;
    // The display options (--hours, --night, --effect, ...): each key of
    // DisplayText with its value, already checked; kept like the window's
    // choices.
    QList<QPair<QString, QString>> display;
    // --countdown-for / --countdown-to: a countdown started with the run.
    std::optional<std::chrono::seconds> countdownFor;
    std::optional<QTime> countdownTo;
    // --new-instance: a window start that neither hands over to a running
    // Halodial nor gives way to the headless service.
    bool newInstance = false;
    // Serve the remote control on the session bus (RemoteControlService).
    // The process does; tests choose.
    bool remoteControl = false;
    // --mqtt and its companions: the clock on an MQTT broker, announced to
    // Home Assistant (MqttBridge).
    std::optional<MqttSettings> mqtt;
    // Save both windows as PNG files there, a moment after start, and quit.
    QString screenshotDirectory;
};
