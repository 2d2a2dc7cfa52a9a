#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>
#include <QColor>
#include <QSettings>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

#include "console/LineSettings.h"
#include "remote/MqttSettings.h"
#include "settings/TubeSettings.h"

// Halodial's settings file: QSettings in the native format (INI) of the
// user's scope, which on Linux is $XDG_CONFIG_HOME/Halodial/halodial.conf
// (~/.config/... by default), from the organisation and application names
// main sets. Values are read and written in memory and reach the file on
// sync() (and when the store goes); an absent or unreadable value reads as
// empty, and a broken file as no settings at all. GUI thread.
//
// Layout: the tube colours under [TubeSettings] with the 18 attribute names
// of TubeSettings (floats 0 to 1), the all-tubes colour under [AllTubes]
// (r, g, b), [LineEnding] tag and add, [Port] identity, name and path,
// [Window] geometry, [Sync] running and lead (milliseconds), [Display] the
// display settings in their text forms, [Mqtt] url, clientId, prefix,
// credentials and ca (the broker chosen in the window; file paths, never a
// password), and under [LineSettings] each port's
// line settings by its percent-encoded identity.
class SettingsStore {
    Q_DECLARE_TR_FUNCTIONS(SettingsStore)

public:
    // What main gives QCoreApplication, and so the file's folder and name.
    static constexpr const char* organisationName = "Halodial";
    static constexpr const char* applicationName = "halodial";

    // Reads the file. One that is not a regular file (a FIFO, a device) is
    // not read nor written; one QSettings cannot parse is kept beside as
    // halodial.conf.broken. Either way the defaults are used and
    // readProblem() says so.
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Why the settings file was not read, in words for the user; empty
    // when it was (or there was none yet).
    QString readProblem() const { return readProblem_; }

    QString fileName() const { return refusedPath_.isEmpty() ? settings_->fileName() : refusedPath_; }
    // Forgets everything (--reset-settings).
    void clear();
    // Writes to the file now; false when it cannot be written.
    bool sync();

    // Empty unless all 18 values are there.
    std::optional<TubeSettings> tubeSettings() const;
    void setTubeSettings(const TubeSettings& tubes);
    std::optional<QColor> allTubesColour() const;
    void setAllTubesColour(const QColor& colour);

    // The line-ending pop-up's tag (0 CR, 1 LF, 2 CR LF) and its switch.
    std::optional<int> lineEndingTag() const;
    void setLineEndingTag(int tag);
    std::optional<bool> addsLineEnding() const;
    void setAddsLineEnding(bool adds);

    // The chosen port: its PortIdentity, and its name and path for the
    // status line while it is awaited.
    struct Port {
        QString identity;
        QString name;
        QString path;
    };
    std::optional<Port> port() const;
    void setPort(const Port& port);

    // A port's line settings by its PortIdentity; empty when none (or
    // none that reads as settings) were kept for it.
    std::optional<LineSettings> lineSettings(const QString& identity) const;
    void setLineSettings(const QString& identity, const LineSettings& settings);

    QByteArray windowGeometry() const;
    void setWindowGeometry(const QByteArray& geometry);
    bool syncWasRunning() const;
    void setSyncRunning(bool running);
    // The time sync's extra lead, 0 to maximumLeadMilliseconds; anything
    // else in the file reads as absent.
    static constexpr int maximumLeadMilliseconds = 100;
    std::optional<int> leadMilliseconds() const;
    void setLeadMilliseconds(int milliseconds);

    // The display settings' text forms (DisplayText), key by key, under
    // [Display]; a key that is not there is not in the list.
    QList<QPair<QString, QString>> displayValues() const;
    void setDisplayValues(const QList<QPair<QString, QString>>& values);

    // The MQTT broker chosen in the window; empty when none was.
    std::optional<MqttSettings::Choice> mqttChoice() const;
    // A choice with an empty URL forgets the broker.
    void setMqttChoice(const MqttSettings::Choice& choice);

private:
    std::unique_ptr<QTemporaryDir> scratch_;
    QString refusedPath_;
    QString readProblem_;
    std::unique_ptr<QSettings> settings_;
};
