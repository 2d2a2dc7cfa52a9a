#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "clock/ClockFrame.h"
#include "clock/ClockFrameParser.h"

class QSocketNotifier;

namespace vel {
class VirtualDevice;
}

// The clock without hardware: a virtual serial device, listed beside the real
// ones, that reads the frames sent to it, shows their tubes and answers save
// frames the way the clock does, with "SAVED <digits>\r\n".
//
// Lives on the GUI thread. Plugged in from construction; unplugging takes
// the device out of the device list and hangs up on any port that has it
// open. Plugging in again makes a new device under the same name (a port
// that waits for "vclock0" finds it again), on a new path.
class VirtualClock : public QObject {
    Q_OBJECT

public:
    // The base of the device names: "vclock0", "vclock1", ...
    static constexpr const char* kBaseName = "vclock";

    explicit VirtualClock(QObject* parent = nullptr);
    ~VirtualClock() override;
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    bool isPluggedIn() const { return device_ != nullptr; }
    // Both empty while unplugged.
    QString deviceName() const;
    QString devicePath() const;
    // Why the last plugIn() failed; empty after a success.
    QString errorString() const { return errorString_; }

    // The tubes as the last frame left them: no digits and all dark before
    // the first one.
    const ClockFrame& tubes() const { return tubes_; }
    std::optional<ClockFrame::Kind> lastFrameKind() const { return lastFrameKind_; }
    QDateTime lastFrameTime() const { return lastFrameTime_; }
    int timeFrameCount() const { return timeFrameCount_; }
    int saveFrameCount() const { return saveFrameCount_; }
    int unparseableCount() const { return unparseableCount_; }
    QByteArray lastUnparseable() const { return lastUnparseable_; }

public slots:
    // Return whether the clock is plugged in afterwards.
    bool plugIn();
    void unplug();

signals:
    void pluggedInChanged(bool pluggedIn);
    // Tubes, counts or the last unparseable bytes changed.
    void stateChanged();

private:
    void readMaster();
    void pauseReading();
    void resumeReading();
    void apply(const ClockFrame& frame);
    void reject(const QByteArray& bytes);
    void answerSave(const ClockFrame& frame);

    std::shared_ptr<vel::VirtualDevice> device_;
    QSocketNotifier* notifier_ = nullptr;  // A child; replaced on each plug-in.
    // While no port has the device open the master only reports a hang-up;
    // reading resumes on this timer instead of spinning on the notifier.
    QTimer hangUpRetry_;
    // A frame never spans a pause in the stream: what is left after a
    // silence is reported as it stands.
    QTimer silence_;
    ClockFrameParser parser_;

    // The number of the first device's name, asked for again on each plug-in.
    std::optional<std::string> suffix_;
    QString errorString_;
    ClockFrame tubes_;
    std::optional<ClockFrame::Kind> lastFrameKind_;
    QDateTime lastFrameTime_;
    int timeFrameCount_ = 0;
    int saveFrameCount_ = 0;
    int unparseableCount_ = 0;
    QByteArray lastUnparseable_;
};
