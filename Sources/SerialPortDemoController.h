#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QList>
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
#include "SyncGrid.h"
#include "console/ConsoleController.h"
#include "console/ConsoleScrollback.h"
#include "console/LineStatusWidget.h"
#include "desktop/UserNotificationCenterDelegate.h"
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
    // What the window says of the current port. Waiting is for a port that
    // is to come back (not yet used by this window).
    enum class PortState { NoPort, Closed, Opening, Open, Gone, Waiting };
    Q_ENUM(PortState)

    static constexpr int tubeCount = 6;
    static constexpr int tickIntervalMs = 200;

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

    // The sync timer, absent until the first senddate; owned as a child.
    QTimer* timer() const { return timer_; }

    // Where ticks take the time to show from; unless replaced, the local
    // time of the wall clock below.
    void setClock(std::function<QTime()> clock);
    // The clocks that place the ticks on the wall clock's 200 ms grid and
    // tell a jump of the wall clock (both in microseconds; the wall clock's
    // since the epoch). The system's CLOCK_REALTIME and CLOCK_MONOTONIC
    // unless replaced, as a test does to jump the time.
    using Microseconds = std::chrono::microseconds;
    void setSyncClocks(std::function<Microseconds()> wall, std::function<Microseconds()> monotonic);

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
    void setTube1(QLineEdit* field) { tubes_[0] = field; }
    void setTube2(QLineEdit* field) { tubes_[1] = field; }
    void setTube3(QLineEdit* field) { tubes_[2] = field; }
    void setTube4(QLineEdit* field) { tubes_[3] = field; }
    void setTube5(QLineEdit* field) { tubes_[4] = field; }
    void setTube6(QLineEdit* field) { tubes_[5] = field; }

    ColorWell* col1() const { return wells_[0]; }
    ColorWell* col2() const { return wells_[1]; }
    ColorWell* col3() const { return wells_[2]; }
    ColorWell* col4() const { return wells_[3]; }
    ColorWell* col5() const { return wells_[4]; }
    ColorWell* col6() const { return wells_[5]; }
    void setCol1(ColorWell* well) { wells_[0] = well; }
    void setCol2(ColorWell* well) { wells_[1] = well; }
    void setCol3(ColorWell* well) { wells_[2] = well; }
    void setCol4(ColorWell* well) { wells_[3] = well; }
    void setCol5(ColorWell* well) { wells_[4] = well; }
    void setCol6(ColorWell* well) { wells_[5] = well; }
    ColorWell* colall() const { return colall_; }
    void setColall(ColorWell* well) { colall_ = well; }

    QLineEdit* sendTextField() const { return sendTextField_; }
    void setSendTextField(QLineEdit* field) { sendTextField_ = field; }
    QPlainTextEdit* receivedDataTextView() const { return receivedDataTextView_; }
    void setReceivedDataTextView(QPlainTextEdit* view);
    QPushButton* openCloseButton() const { return openCloseButton_; }
    void setOpenCloseButton(QPushButton* button) { openCloseButton_ = button; }
    QComboBox* lineEndingPopUpButton() const { return lineEndingPopUpButton_; }
    void setLineEndingPopUpButton(QComboBox* popUp) { lineEndingPopUpButton_ = popUp; }
    // The modem lines of the current port; follows every change of port.
    LineStatusWidget* lineStatusWidget() const;
    void setLineStatusWidget(LineStatusWidget* widget);

    // The console behind the send line and the output view: received bytes,
    // the log, hex view and input, timestamps and history.
    ConsoleController& console() { return console_; }

    // The state of the current port, and the status line's text: the state
    // in words, then the last problem in plain words (PortProblem) with what
    // to do about it. Opening a port or choosing another clears the problem.
    PortState portState() const { return portState_; }
    // No port, and `name` on the status line as the one awaited ("Waiting
    // for <name> to come back…"); the Open/Close button reads Close, and
    // pressing it ends the waiting (state Gone). For the ReconnectWatcher.
    void waitForPort(const QString& name);
    QString statusText() const;
    QString lastProblem() const { return lastProblem_; }

    // Shows each well's colour in its tube, as choosing it would.
    void showWellColoursInTubes();

    // The ending chosen by the tag (item data) of the pop-up's current item:
    // 0 "\r", 1 "\n", 2 "\r\n"; anything else, or no choice, "\n".
    QString lineEndingString() const;

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

    // Hot plug: a line on standard output for each event of the port
    // manager, and one silent desktop notification per port, which goes away
    // again a few seconds after it is shown.
    static constexpr std::chrono::milliseconds deliveredNotificationLifetime{3000};
    using Ports = std::vector<std::shared_ptr<VELSerialPort>>;
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
    // A tick of the sync: the time in the tubes, and a time frame to the
    // port unless earlier bytes still wait in its outgoing queue. The timer
    // is put back on the grid when the tick fell off it (a busy loop, a
    // jump of the wall clock).
    void tickDown();
    void senddate();
    void stop();
    void save();
    void send();
    void openOrClosePort();

signals:
    void shouldAddLineEndingChanged(bool shouldAddLineEnding);
    void serialPortChanged();
    // The status line's text changed (state or problem).
    void statusChanged(const QString& text);
    void portStateChanged(SerialPortDemoController::PortState state);
    // An open of the current port failed, or the current port went away;
    // the message is the status line's plain-words problem.
    void openFailed(const QString& message);
    void portWentAway(const QString& message);

private:
    void applyWellColourToTube(int index);
    void releaseReceivedDataTextView();
    void setOpenCloseTitle(const QString& title);
    bool isCurrentPort(const std::shared_ptr<VELSerialPort>& port) const;
    void setPortState(PortState state);
    void portOpennessChanged(const std::shared_ptr<VELSerialPort>& port);
    void setProblem(const QString& problem);
    void sendFrame(const std::optional<QString>& frame);
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
    QTimer* timer_ = nullptr;
    std::shared_ptr<VELSerialPort> serialPort_;
    QPointer<QLineEdit> sendTextField_;
    QPointer<QPlainTextEdit> receivedDataTextView_;
    QPointer<QPushButton> openCloseButton_;
    QPointer<QComboBox> lineEndingPopUpButton_;
    std::function<QTime()> clock_;
    std::function<Microseconds()> wallClock_;
    std::function<Microseconds()> monotonicClock_;
    SyncGrid syncGrid_;
    QPointer<UserNotificationCenter> userNotificationCenter_;
    std::shared_ptr<PortDelegateAdapter> portDelegate_;
    ConsoleScrollback consoleScrollback_;
    ConsoleController console_{consoleScrollback_};
    QPointer<LineStatusWidget> lineStatusWidget_;
    PortState portState_ = PortState::NoPort;
    // The current port's "isOpen": the controls follow the port itself, also
    // when it is opened or closed other than through the window, and as soon
    // as it changes rather than when the delegate's callback arrives.
    vel::Observation isOpenObservation_;
    QString lastProblem_;
    // The name of the port that went away, for the status line.
    QString goneName_;
    // Ports the manager announced as disconnected: their removal has had
    // its standard-output line already.
    std::vector<std::weak_ptr<VELSerialPort>> announcedDisconnections_;
};
