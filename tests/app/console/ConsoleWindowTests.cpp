// The console's controls in the real window, over a pseudo-terminal device:
// hex view and timestamps over what arrived, send as hex, history, Clear,
// find, logging with the status line, and the modem-line indicators.
#include <sys/stat.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "DevicePlayer.h"
#include "MainWindow.h"
#include "SerialPortDemoController.h"
#include "VELSerialPortManager.h"
#include "console/ConsoleView.h"
#include "console/HexDump.h"
#include "console/LineStatusWidget.h"
#include "desktop/QtMainQueue.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kDeadlineMs = 10000;

}  // namespace

class ConsoleWindowTests : public QObject {
    Q_OBJECT

private:
    VELSerialPortManager* manager_ = nullptr;
    std::unique_ptr<SerialPortDemoController> controller_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<DevicePlayer> device_;

    Ui::MainWindow& ui() { return window_->ui(); }
    ConsoleView& view() { return *ui().receivedDataTextView; }
    QString shown() { return view().toPlainText(); }

private slots:
    void initTestCase()
    {
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
    }

    void init()
    {
        controller_ = std::make_unique<SerialPortDemoController>(manager_);
        window_ = std::make_unique<MainWindow>();
        window_->connectController(*controller_, *manager_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        device_ = std::make_unique<DevicePlayer>();
        std::shared_ptr<VELSerialPort> port;
        QVERIFY(QTest::qWaitFor([&] { return (port = VELSerialPort::existingPortWithPath(device_->path())) ||
                                             (port = VELSerialPort::serialPortWithPath(device_->path())); },
                                kDeadlineMs));
        controller_->setSerialPort(port);
        ui().openCloseButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(port->isOpen() && ui().send1->isEnabled(), kDeadlineMs);
    }

    void cleanup()
    {
        {
            const auto port = controller_->serialPort();
            window_.reset();
            controller_.reset();
            if (port) {
                port->close();
                QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);
            }
        }
        device_.reset();
        QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone());
    }

    void hexViewAndTimestampsShowWhatArrived()
    {
        ui().timestampsCheckBox->setChecked(true);
        // Separate reads: a character and a line split across them, and
        // bytes that are no UTF-8.
        const QByteArrayList chunks{"caf\xC3", "\xA9 \xFF\xFE ", "ok\r", "\nnext\n"};
        QByteArray sent;
        for (const QByteArray& chunk : chunks) {
            QVERIFY(device_->write(chunk));
            sent += chunk;
            QTRY_COMPARE_WITH_TIMEOUT(controller_->console().renderer().received().byteCount(), sent.size(), kDeadlineMs);
        }
        QTRY_VERIFY_WITH_TIMEOUT(shown().endsWith(u"next\n"_qs), kDeadlineMs);
        const QString text = shown();
        QCOMPARE(text.count(u'['), 2);  // once per line, however it came
        QVERIFY2(text.contains(u"] café \\xFF\\xFE ok\n["_qs), qPrintable(text));

        ui().hexViewCheckBox->setChecked(true);
        QCOMPARE(shown().count(u'['), chunks.size());  // once per chunk
        view().selectAll();
        QCOMPARE(view().selectedBytesAsHex(), HexDump::hexText(sent));
        ui().hexViewCheckBox->setChecked(false);
        QCOMPARE(shown(), text);
    }

    void sendAsHexRefusesMalformedBytes()
    {
        ui().sendHexCheckBox->setChecked(true);
        ui().addLineEndingCheckBox->setChecked(true);
        ui().lineEndingPopUpButton->setCurrentIndex(2);
        QLineEdit& field = *ui().sendTextField;
        QTest::keyClicks(&field, u"4G"_qs);
        QVERIFY2(window_->inputNote()->text().contains(u"\"4G\""_qs), qPrintable(window_->inputNote()->text()));
        ui().send1->click();
        QTest::keyClick(&field, Qt::Key_Return);
        QCOMPARE(field.text(), u"4G"_qs);  // kept for mending
        field.setText(u"41 42 0D"_qs);
        QVERIFY(window_->inputNote()->text().isEmpty());
        QTest::keyClick(&field, Qt::Key_Return);  // Enter sends as Send does
        QVERIFY(field.text().isEmpty());  // and empties the line
        // Nothing from "4G"; three bytes and the line ending from the rest.
        QCOMPARE(device_->take(5), QByteArray("AB\r\r\n"));
        QCOMPARE(device_->take(1), QByteArray());

        // History: only what was sent, newest first.
        ui().sendHexCheckBox->setChecked(false);
        field.setText(u"plain"_qs);
        ui().send1->click();
        QCOMPARE(device_->take(7), QByteArray("plain\r\n"));
        field.clear();
        QTest::keyClick(&field, Qt::Key_Up);
        QCOMPARE(field.text(), u"plain"_qs);
        QTest::keyClick(&field, Qt::Key_Up);
        QCOMPARE(field.text(), u"41 42 0D"_qs);
    }

    void clearFindAndLog()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"halodial.log"_qs);
        ui().logModePopUpButton->setCurrentIndex(1);  // both ways, raw
        controller_->console().startLogging(path);
        QTRY_VERIFY_WITH_TIMEOUT(window_->loggingStatus()->text().contains(path), kDeadlineMs);
        QCOMPARE(ui().logButton->text(), u"Stop lo&g"_qs);

        QVERIFY(device_->write("alpha beta\nbeta\n"));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), u"alpha beta\nbeta\n"_qs, kDeadlineMs);
        ui().sendTextField->setText(u"hi"_qs);
        ui().send1->click();
        QCOMPARE(device_->take(2), QByteArray("hi"));

        QTest::keySequence(window_.get(), QKeySequence::Find);
        QVERIFY(ui().consoleSearchBar->isVisible());
        QTest::keyClicks(ui().consoleSearchBar->field(), u"BETA"_qs);
        QTest::keyClick(ui().consoleSearchBar->field(), Qt::Key_Return);
        QCOMPARE(view().textCursor().selectionStart(), 6);
        QTest::keyClick(ui().consoleSearchBar->field(), Qt::Key_Return);
        QCOMPARE(view().textCursor().selectionStart(), 11);

        QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_L));
        QVERIFY(shown().isEmpty());
        QCOMPARE(controller_->console().renderer().received().byteCount(), qsizetype{0});

        ui().logButton->click();  // stops
        QVERIFY(window_->loggingStatus()->text().isEmpty());
        QFile log(path);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), QByteArray("alpha beta\nbeta\nhi"));
    }

    void markedLogAndLocalEcho()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"marked.log"_qs);
        ui().logModePopUpButton->setCurrentIndex(2);  // both ways, marked
        ui().localEchoCheckBox->setChecked(true);
        controller_->console().startLogging(path);
        QTRY_VERIFY_WITH_TIMEOUT(controller_->console().isLogging() && window_->loggingStatus()->text().contains(path),
                                 kDeadlineMs);
        QVERIFY(device_->write("ok\n"));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), u"ok\n"_qs, kDeadlineMs);
        ui().sendTextField->setText(u"hi\\"_qs);
        ui().send1->click();
        QCOMPARE(device_->take(3), QByteArray("hi\\"));
        // Echoed among what arrived, in order.
        QTRY_COMPARE_WITH_TIMEOUT(shown(), u"ok\nhi\\"_qs, kDeadlineMs);
        ui().logButton->click();  // stops
        QFile log(path);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(log.readAll());
        static const QRegularExpression marked(
            uR"(^< \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ok\\x0a\n> \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} hi\\\\\n$)"_qs);
        QVERIFY2(marked.match(text).hasMatch(), qPrintable(text));
        ui().localEchoCheckBox->setChecked(false);
        ui().send1->click();
        QCOMPARE(device_->take(3), QByteArray("hi\\"));
        QCOMPARE(shown(), u"ok\nhi\\"_qs);
    }

    void aFifoAsTheLogIsRefusedWhileTheFramesGoOn()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(u"console.log"_qs);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        controller_->senddate();
        QVERIFY(device_->take(43).startsWith('/'));
        // Without a reader an ordinary open of the FIFO would wait for one,
        // and the window with it.
        controller_->console().startLogging(fifo);
        QTRY_COMPARE_WITH_TIMEOUT(window_->loggingStatus()->text(),
                                  "Cannot log to " + fifo + ": not a regular file", kDeadlineMs);
        QVERIFY(!controller_->console().isLogging());
        QCOMPARE(ui().logButton->text(), u"Lo&g…"_qs);
        device_->takeAvailable();
        QCOMPARE(device_->take(43 * 2).count('/'), 2);
    }

    void modemLinesOfAPseudoTerminalAreUnavailable()
    {
        LineStatusWidget& lines = *ui().lineStatusWidget;
        // The port's first modem-line poll finds none: no problem is shown.
        const QLabel* cts = lines.findChild<QLabel*>(u"ctsIndicator"_qs);
        QVERIFY(cts);
        QTRY_VERIFY_WITH_TIMEOUT(cts->toolTip().contains(u"no modem lines"_qs), kDeadlineMs);
        QVERIFY(!lines.rtsToggle()->isEnabled());
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(lines.indicatorState(i), u"unavailable"_qs);
        }
        QVERIFY2(controller_->lastProblem().isEmpty(), qPrintable(controller_->lastProblem()));
    }
};

QTEST_MAIN(ConsoleWindowTests)
#include "ConsoleWindowTests.moc"
