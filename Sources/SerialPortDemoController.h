#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTime>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "ColorWell.h"
#include "clock/ClockFrame.h"
#include "ports/HotPlugAnnouncer.h"
#include "ports/PortStatus.h"
#include "clock/SystemClockWatch.h"
#include "clock/TimeSync.h"
#include "console/ConsoleController.h"
#include "console/ConsoleScrollback.h"
#include "console/LineStatusWidget.h"
#include "desktop/UserNotificationCenterDelegate.h"
#include "display/DisplayComposer.h"
#include "display/DisplaySettings.h"
#include "display/DisplayState.h"
#include "support/Observable.h"

class VELSerialPort;
class VELSerialPortManager;
class UserNotification;
class UserNotificationCenter;
class PortDelegateAdapter;

namespace vel {
struct Notification;
class PosixError;
}  // namespace vel

// The controller of Halodial's one window: it holds the window's controls
// (outlets), the link to the clock and every action of the window.
//
// Outlets are QPointers: the window owns its controls and the controller
// only refers to them; a control that goes away reads as absent, and an
// action that needs an absent control does nothing with it. Frames are all
// or nothing: without all six tube fields and all six wells no frame is
// built or sent.
//
// receivedDataTextView is the one owning outlet. Qt gives a widget exactly
// one owner, its parent widget, so "owning" here means owner of last resort:
// while a window hosts the view, the window's widget tree owns it; a view
// that no widget hosts is deleted by the controller when the controller goes
// or when another view replaces it.
class SerialPortDemoController : public QObject, public UserNotificationCenterDelegate {
    Q_OBJECT
    Q_PROPERTY(bool shouldAddLineEnding READ shouldAddLineEnding WRITE setShouldAddLineEnding NOTIFY
                   shouldAddLineEndingChanged)
    Q_PROPERTY(QList<int> availableBaudRates READ availableBaudRates CONSTANT)
    Q_PROPERTY(int leadMilliseconds READ leadMilliseconds WRITE setLeadMilliseconds NOTIFY leadMillisecondsChanged)
    Q_PROPERTY(QString lineEndingString READ lineEndingString)
    Q_PROPERTY(QWidget* win READ win WRITE setWin)
    Q_PROPERTY(QPushButton* send1 READ send1 WRITE setSend1)
    Q_PROPERTY(QComboBox* band READ band WRITE setBand)
    Q_PROPERTY(QLineEdit* tube1 READ tube1 WRITE setTube1)
    Q_PROPERTY(QLineEdit* tube2 READ tube2 WRITE setTube2)
    Q_PROPERTY(QLineEdit* tube3 READ tube3 WRITE setTube3)
    Q_PROPERTY(QLineEdit* tube4 READ tube4 WRITE setTube4)
    Q_PROPERTY(QLineEdit* tube5 READ tube5 WRITE setTube5)
    Q_PROPERTY(QLineEdit* tube6 READ tube6 WRITE setTube6)
    Q_PROPERTY(ColorWell* col1 READ col1 WRITE setCol1)
    Q_PROPERTY(ColorWell* col2 READ col2 WRITE setCol2)
    Q_PROPERTY(ColorWell* col3 READ col3 WRITE setCol3)
    Q_PROPERTY(ColorWell* col4 READ col4 WRITE setCol4)
    Q_PROPERTY(ColorWell* col5 READ col5 WRITE setCol5)
    Q_PROPERTY(ColorWell* col6 READ col6 WRITE setCol6)
    Q_PROPERTY(ColorWell* colall READ colall WRITE setColall)
    Q_PROPERTY(QLineEdit* sendTextField READ sendTextField WRITE setSendTextField)
    Q_PROPERTY(QPlainTextEdit* receivedDataTextView READ receivedDataTextView WRITE setReceivedDataTextView)
    Q_PROPERTY(QPushButton* openCloseButton READ openCloseButton WRITE setOpenCloseButton)
    Q_PROPERTY(QComboBox* lineEndingPopUpButton READ lineEndingPopUpButton WRITE setLineEndingPopUpButton)
    Q_PROPERTY(LineStatusWidget* lineStatusWidget READ lineStatusWidget WRITE setLineStatusWidget)

public:
    // What the window says of the current port (PortStatus). Waiting is for
    // a port that is to come back.
    using PortState = PortStatus::State;

    static constexpr int tubeCount = ClockFrame::kTubeCount;

    // The application passes the shared port manager; the controller only
    // hands it to the window and never calls it.
    explicit SerialPortDemoController(VELSerialPortManager* manager = nullptr, QObject* parent = nullptr);
    // Hot-plug notifications go to `userNotificationCenter` rather than the
    // default centre.
    explicit SerialPortDemoController(UserNotificationCenter& userNotificationCenter,
                                      VELSerialPortManager* manager = nullptr, QObject* parent = nullptr);
    ~SerialPortDemoController() override;

    VELSerialPortManager* serialPortManager() const { return serialPortManager_; }
    QList<int> availableBaudRates() const { return availableBaudRates_; }

    bool shouldAddLineEnding() const { return shouldAddLineEnding_; }
    void setShouldAddLineEnding(bool add);

    // The port the clock hangs on; every frame goes to it, none without it.
    // Storing a port, even the current one again, closes the previous one
    // and makes the controller the new one's delegate; the port is not
    // opened. The Open/Close title then tells the new port's state.
    std::shared_ptr<VELSerialPort> serialPort() const { return serialPort_; }
    void setSerialPort(std::shared_ptr<VELSerialPort> port);

    // The time sync that senddate starts: it sends a time frame on every
    // point of the wall clock's 200 ms grid, landing on the point, and
    // shows each point's time in the tubes. One for the controller's life;
    // isActive() while it runs.
    TimeSync* timer() { return &timeSync_; }
    const TimeSync* timer() const { return &timeSync_; }

    // Where ticks take the time to show from; unless replaced, the local
    // time of each grid point.
    void setClock(std::function<QTime()> clock) { timeSync_.setClock(std::move(clock)); }
    // The wall clock the sync plans on (nanoseconds since the epoch);
    // CLOCK_REALTIME unless replaced, as a test does to jump the time.
    void setWallClock(std::function<TimeSync::Nanoseconds()> wall) { timeSync_.setWallClock(std::move(wall)); }

    // How much earlier again than its time on the wire each time frame
    // leaves (0 to 100 ms), for adapters with a delay of their own.
    int leadMilliseconds() const { return static_cast<int>(timeSync_.lead().count()); }
    void setLeadMilliseconds(int milliseconds);

    // Whether this computer's time is synchronised; the clock area and the
    // headless run say so.
    SystemClockWatch& systemClock() { return systemClock_; }

    QWidget* win() const { return win_; }
    void setWin(QWidget* win) { win_ = win; }
    QPushButton* send1() const { return send1_; }
    void setSend1(QPushButton* button) { send1_ = button; }
    QComboBox* band() const { return band_; }
    void setBand(QComboBox* band) { band_ = band; }

    QLineEdit* tube1() const { return tubes_[0]; }
    QLineEdit* tube2() const { return tubes_[1]; }
    QLineEdit* tube3() const { return tubes_[2]; }
    QLineEdit* tube4() const { return tubes_[3]; }
    QLineEdit* tube5() const { return tubes_[4]; }
    QLineEdit* tube6() const { return tubes_[5]; }
    void setTube1(QLineEdit* field) { setTube(0, field); }
    void setTube2(QLineEdit* field) { setTube(1, field); }
    void setTube3(QLineEdit* field) { setTube(2, field); }
    void setTube4(QLineEdit* field) { setTube(3, field); }
    void setTube5(QLineEdit* field) { setTube(4, field); }
    void setTube6(QLineEdit* field) { setTube(5, field); }

    ColorWell* col1() const { return wells_[0]; }
    ColorWell* col2() const { return wells_[1]; }
    ColorWell* col3() const { return wells_[2]; }
    ColorWell* col4() const { return wells_[3]; }
    ColorWell* col5() const { return wells_[4]; }
    ColorWell* col6() const { return wells_[5]; }
    void setCol1(ColorWell* well) { setWell(0, well); }
    void setCol2(ColorWell* well) { setWell(1, well); }
    void setCol3(ColorWell* well) { setWell(2, well); }
    void setCol4(ColorWell* well) { setWell(3, well); }
    void setCol5(ColorWell* well) { setWell(4, well); }
    void setCol6(ColorWell* well) { setWell(5, well); }
    ColorWell* colall() const { return colall_; }
    void setColall(ColorWell* well) { colall_ = well; }

    QLineEdit* sendTextField() const { return sendTextField_; }
    void setSendTextField(QLineEdit* field) { sendTextField_ = field; }
    QPlainTextEdit* receivedDataTextView() const { return receivedDataTextView_; }
    void setReceivedDataTextView(QPlainTextEdit* view);
    QPushButton* openCloseButton() const { return openCloseButton_; }
    // Its title and accessible name follow the port's state (PortStatus).
    void setOpenCloseButton(QPushButton* button);
    QComboBox* lineEndingPopUpButton() const { return lineEndingPopUpButton_; }
    void setLineEndingPopUpButton(QComboBox* popUp);
    // The modem lines of the current port; follows every change of port.
    LineStatusWidget* lineStatusWidget() const;
    void setLineStatusWidget(LineStatusWidget* widget);

    // The console behind the send line and the output view: received bytes,
    // the log, hex view and input, timestamps and history.
    ConsoleController& console() { return console_; }

    // The state of the current port, and the status line's text: the state
    // in words, then the last problem in plain words (PortProblem) with what
    // to do about it. Opening a port or choosing another clears the problem.
    PortState portState() const { return status_.state(); }
    // No port, and `name` on the status line as the one awaited ("Waiting
    // for <name> to come back…"); the Open/Close button reads Close, and
    // pressing it ends the waiting (state Gone). For the ReconnectWatcher.
    void waitForPort(const QString& name);
    QString statusText() const { return status_.text(); }
    QString lastProblem() const { return status_.problem(); }

    // Shows each well's colour in its tube, as choosing it would.
    void showWellColoursInTubes();

    // A run without a window (--headless) connects no outlets: the tubes'
    // digits and colours are then the controller's own, starting with
    // defaultTubeColour, and frames carry those. Once any tube or well is
    // connected, the window's controls are the tubes, and all six of each
    // must be there for a frame.
    static constexpr QRgb defaultTubeColour = 0xFF7A1A;
    bool hasTubeOutlets() const { return hasTubeOutlets_; }
    // The six colours the frames carry; none while a connected well is gone.
    std::optional<std::array<QColor, tubeCount>> tubeColours() const;
    // Into the wells and the tubes' preview, or the controller's own.
    void setTubeColours(const std::array<QColor, tubeCount>& colours);

    // What the tubes show besides the plain time and how they are lit
    // (DisplaySettings); the frames from the next point on follow them, and
    // the tube fields preview their colours. One place to read and set
    // them, for the window, the command line and a remote control alike.
    // Values out of range are brought into it (DisplaySettings::bounded).
    const DisplaySettings& displaySettings() const { return displaySettings_; }
    void setDisplaySettings(const DisplaySettings& settings);

    // Shows `digits` (up to six characters; fewer are filled with spaces)
    // instead of the time for `duration`, or until cleared when it is zero.
    void showDigits(const QString& digits, std::chrono::seconds duration);
    void clearShownDigits();
    // A countdown for `duration`, or to the next `time` of day; on the grid
    // like the time. At zero the tubes flash three times, then show the time
    // again, and countdownFinished is emitted. Starting one replaces any
    // running countdown.
    void startCountdown(std::chrono::seconds duration);
    void startCountdownTo(const QTime& time);
    void stopCountdown();
    bool countsDown() const { return displayState_.countdownEnd.has_value(); }
    const DisplayState& displayState() const { return displayState_; }

    // What the tubes show at `instant` on the sync's wall clock (the
    // composer's answer for the sync's local time there).
    DisplayComposer::Shown shownAt(TimeSync::Nanoseconds instant) const;
    // Between the grid points, while an effect moves, a frame on each point
    // of this finer grid that is not one of the sync's: with the time
    // frames 25 a second, 9.3 % of a 115200 line. Through the same idle-only
    // send as the time frames, and never so close before a time frame's
    // instant that it could still be on the wire then.
    static constexpr std::chrono::milliseconds inBetweenInterval{40};
    // How many frames went between the grid points since start.
    int inBetweenFramesSent() const { return inBetweenSent_; }

    // The ending chosen by the tag (item data) of the pop-up's current item:
    // 0 "\r", 1 "\n", 2 "\r\n"; anything else, or no choice, "\n".
    QString lineEndingString() const;

    // What a remote control (D-Bus, MQTT) reads and changes besides the
    // window. Each change is told by a signal below, whoever made it.
    bool isSyncing() const { return timeSync_.isActive(); }
    // "\r", "\n" or "\r\n" into the pop-up (the item with that tag), or
    // the controller's own without one; anything else is ignored.
    void setLineEndingString(const QString& ending);

    // The lead, then each tube's whole text and its well's colour; absent
    // unless all six fields and wells are there.
    std::optional<QString> frameString(QChar lead) const;

    // Everything the controller writes goes through here: the line ending
    // when asked for, UTF-8, then the port if there is one. Text that UTF-8
    // cannot carry (a lone surrogate) is dropped rather than mangled.
    void sendString(const QString& text);
    // The same for bytes (the console's hex input): the line ending when
    // asked for and the last byte is no line feed, then the port.
    void sendBytes(const QByteArray& bytes);

    // Hot plug (HotPlugAnnouncer): a line on standard output for each event
    // of the port manager, and one silent desktop notification per port,
    // which goes away again a few seconds after it is shown.
    static constexpr std::chrono::milliseconds deliveredNotificationLifetime =
        HotPlugAnnouncer::deliveredNotificationLifetime;
    using Ports = HotPlugAnnouncer::Ports;
    void serialPortsWereConnected(const vel::Notification& notification);
    void serialPortsWereDisconnected(const vel::Notification& notification);
    void postUserNotificationForConnectedPorts(const Ports& ports);
    void postUserNotificationForDisconnectedPorts(const Ports& ports);
    void userNotificationCenterDidDeliverNotification(UserNotificationCenter& center,
                                                      const UserNotification& notification) override;
    bool userNotificationCenterShouldPresentNotification(UserNotificationCenter& center,
                                                         const UserNotification& notification) override;

    // What the current port reports, through the PortDelegateAdapter, on the
    // GUI thread. A port that is no longer the current one has nothing left
    // to say to the window: only its errors still get their line.
    void serialPortWasOpened(const std::shared_ptr<VELSerialPort>& port);
    void serialPortWasClosed(const std::shared_ptr<VELSerialPort>& port);
    void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>& port, std::span<const std::uint8_t> data);
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>& port);
    void serialPortDidEncounterError(const std::shared_ptr<VELSerialPort>& port, const vel::PosixError& error);

public slots:
    void help();
    void colorall();
    void colorc1();
    void color2();
    void color3();
    void color4();
    void color5();
    void color6();
    // One tick at once: the current time in the tubes, and a time frame to
    // the port if it can leave now (nothing waits ahead of it in the line;
    // a late time is worse than none). The running sync's own ticks come
    // from the TimeSync, on the grid.
    void tickDown();
    // Starts the sync (once; a further press starts it afresh): the wells'
    // colours in the tubes, one time frame at once from what the tubes hold
    // (the current time while nobody has typed there and no tick has run,
    // never their initial zeros), then a frame on every grid point.
    void senddate();
    void stop();
    void save();
    void send();
    void openOrClosePort();
    // Opens the current port, if closed, and keeps the console's text: for
    // a device that came back (the user's own Open starts afresh).
    void reopenPort();

signals:
    void displaySettingsChanged(const DisplaySettings& settings);
    // Shown digits or a countdown came or went.
    void displayStateChanged(const DisplayState& state);
    // A countdown reached zero.
    void countdownFinished();
    void shouldAddLineEndingChanged(bool shouldAddLineEnding);
    void leadMillisecondsChanged(int milliseconds);
    void serialPortChanged();
    // The status line's text changed (state or problem).
    void statusChanged(const QString& text);
    void portStateChanged(PortStatus::State state);
    // An open of the current port failed, or the current port went away;
    // the message is the status line's plain-words problem.
    void openFailed(const QString& message);
    void portWentAway(const QString& message);
    // For remote controls: the colours the frames carry, the sync's
    // running and the line ending changed, by whomever.
    void tubeColoursChanged();
    void syncingChanged(bool syncing);
    void lineEndingChanged();

private:
    void applyWellColourToTube(int index);
    void releaseReceivedDataTextView();
    bool isCurrentPort(const std::shared_ptr<VELSerialPort>& port) const;
    void setPortState(PortState state);
    void portOpennessChanged(const std::shared_ptr<VELSerialPort>& port);
    void setProblem(const QString& problem);
    void sendFrame(const std::optional<QString>& frame);
    // A time frame goes only when it can leave now (sendDataIfIdle).
    void sendTimeFrame(const std::optional<QString>& frame);
    // The frame for a grid point: what the composer shows there, and the
    // bytes of the time frame with it (none while a tube or well is gone).
    TimeSync::Frame composeFrame(TimeSync::Nanoseconds point, const QDateTime& local);
    DisplayComposer::Shown shownAtLocal(TimeSync::Nanoseconds instant, const QDateTime& local) const;
    std::optional<QString> frameStringShowing(QChar lead, const QString& digits,
                                              const std::array<QColor, tubeCount>& colours) const;
    // The tubes' texts with the given colours.
    std::optional<QString> frameStringColoured(QChar lead, const std::array<QColor, tubeCount>& colours) const;
    void putDigitsInTubes(const QString& digits);
    // The tube fields' text colours: the composed ones while the display
    // differs from the plain clock, else the wells'.
    void previewColours(const std::array<QColor, tubeCount>& colours);
    void pointWasReached();
    void sendInBetweenFrame();
    void scheduleInBetweenFrame();
    void followDisplay();
    void setDisplayState(const DisplayState& state);
    void setTube(int index, QLineEdit* field);
    void setWell(int index, ColorWell* well);
    QString withLineEnding(const QString& text) const;
    bool wasListed(const std::shared_ptr<VELSerialPort>& port) const;
    void writeToPort(const QByteArray& bytes);

    VELSerialPortManager* serialPortManager_;
    QList<int> availableBaudRates_{115200};
    bool shouldAddLineEnding_ = false;
    QPointer<QWidget> win_;
    QPointer<QPushButton> send1_;
    QPointer<QComboBox> band_;
    std::array<QPointer<QLineEdit>, tubeCount> tubes_;
    std::array<QPointer<ColorWell>, tubeCount> wells_;
    QPointer<ColorWell> colall_;
    std::shared_ptr<VELSerialPort> serialPort_;
    QPointer<QLineEdit> sendTextField_;
    QPointer<QPlainTextEdit> receivedDataTextView_;
    QPointer<QPushButton> openCloseButton_;
    QPointer<QComboBox> lineEndingPopUpButton_;
    // Whether anything was written into the tubes since they were made (by
    // the user, the program or a tick): until then they hold their initial
    // zeros, which no frame should show.
    bool tubesWritten_ = false;
    bool hasTubeOutlets_ = false;
    std::array<QString, tubeCount> ownDigits_;
    std::array<QColor, tubeCount> ownColours_;
    QString ownLineEnding_ = QStringLiteral("\n");
    SystemClockWatch systemClock_;
    DisplaySettings displaySettings_;
    DisplayState displayState_;
    // The colours built last for the planned point, for its preview.
    TimeSync::Nanoseconds builtPoint_{-1};
    QDateTime builtLocal_;
    std::array<QColor, tubeCount> builtColours_;
    // The last point reached and its local time, for the frames after it.
    TimeSync::Nanoseconds reachedPoint_{-1};
    QDateTime reachedLocal_;
    bool countdownSaid_ = false;
    // Whether the tube fields show composed colours rather than the wells'.
    bool previewing_ = false;
    DisplaySettings::DateOrder localeDateOrder_ = DisplaySettings::dateOrderOf(QLocale());
    QTimer inBetween_;
    int inBetweenSent_ = 0;
    TimeSync timeSync_{[this](TimeSync::Nanoseconds point, const QDateTime& local) { return composeFrame(point, local); }};
    QPointer<UserNotificationCenter> userNotificationCenter_;
    std::shared_ptr<PortDelegateAdapter> portDelegate_;
    ConsoleScrollback consoleScrollback_;
    ConsoleController console_{consoleScrollback_};
    QPointer<LineStatusWidget> lineStatusWidget_;
    PortStatus status_;
    // The current port's "isOpen": the controls follow the port itself, also
    // when it is opened or closed other than through the window, and as soon
    // as it changes rather than when the delegate's callback arrives.
    vel::Observation isOpenObservation_;
    // Ports the manager announced as disconnected: their removal has had
    // its standard-output line already.
    HotPlugAnnouncer hotPlug_;
};
