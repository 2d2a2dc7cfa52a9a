#include "SerialPortDemoController.h"

#include <QLocale>
#include <QMessageBox>
#include <QPalette>
#include <cstdint>
#include <span>

#include "HalodialColor.h"
#include "VELSerialPort.h"

namespace {

// Until the project has a wiki of its own, the reserved example domain.
const QString supportWikiHost = QStringLiteral("wiki.example.org");

void setTextColour(QLineEdit* field, const QColor& colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text, colour);
    field->setPalette(palette);
}

}  // namespace

SerialPortDemoController::SerialPortDemoController(VELSerialPortManager* manager, QObject* parent)
    : QObject(parent), serialPortManager_(manager), clock_([] { return QTime::currentTime(); })
{
}

SerialPortDemoController::~SerialPortDemoController()
{
    releaseReceivedDataTextView();
}

void SerialPortDemoController::setShouldAddLineEnding(bool add)
{
    if (add == shouldAddLineEnding_) {
        return;
    }
    shouldAddLineEnding_ = add;
    emit shouldAddLineEndingChanged(add);
}

void SerialPortDemoController::setSerialPort(std::shared_ptr<VELSerialPort> port)
{
    serialPort_ = std::move(port);
}

void SerialPortDemoController::setClock(std::function<QTime()> clock)
{
    clock_ = std::move(clock);
}

void SerialPortDemoController::setReceivedDataTextView(QPlainTextEdit* view)
{
    if (view == receivedDataTextView_) {
        return;
    }
    releaseReceivedDataTextView();
    receivedDataTextView_ = view;
}

void SerialPortDemoController::releaseReceivedDataTextView()
{
    // A hosted view belongs to its host's widget tree; only an unhosted one
    // is ours to delete.
    if (receivedDataTextView_ && !receivedDataTextView_->parent()) {
        delete receivedDataTextView_.data();
    }
    receivedDataTextView_.clear();
}

QString SerialPortDemoController::lineEndingString() const
{
    if (!lineEndingPopUpButton_ || lineEndingPopUpButton_->currentIndex() < 0) {
        return QStringLiteral("\n");
    }
    bool isNumber = false;
    const int tag = lineEndingPopUpButton_->currentData().toInt(&isNumber);
    if (!isNumber) {
        return QStringLiteral("\n");
    }
    switch (tag) {
    case 0:
        return QStringLiteral("\r");
    case 2:
        return QStringLiteral("\r\n");
    default:
        return QStringLiteral("\n");
    }
}

std::optional<QString> SerialPortDemoController::frameString(QChar lead) const
{
    QString frame(lead);
    for (int i = 0; i < tubeCount; ++i) {
        if (!tubes_[i] || !wells_[i]) {
            return std::nullopt;
        }
        frame += tubes_[i]->text();
        frame += HalodialColor::hexString(wells_[i]->color());
    }
    return frame;
}

void SerialPortDemoController::sendString(const QString& text)
{
    QString outgoing = text;
    if (shouldAddLineEnding_ && !outgoing.endsWith(QLatin1Char('\n'))) {
        outgoing += lineEndingString();
    }
    if (!outgoing.isValidUtf16() || !serialPort_) {
        return;
    }
    const QByteArray bytes = outgoing.toUtf8();
    serialPort_->sendData(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                        static_cast<std::size_t>(bytes.size())));
}

void SerialPortDemoController::help()
{
    QMessageBox alert(win_);
    alert.setText(tr("Halodial Help"));
    alert.setInformativeText(tr("For More Help , please visit '%1'").arg(supportWikiHost));
    alert.exec();
}

void SerialPortDemoController::applyWellColourToTube(int index)
{
    if (wells_[index] && tubes_[index]) {
        setTextColour(tubes_[index], wells_[index]->color());
    }
}

void SerialPortDemoController::colorall()
{
    if (!colall_) {
        return;
    }
    const QColor colour = colall_->color();
    for (const auto& well : wells_) {
        if (well) {
            well->setColor(colour);
        }
    }
    for (const auto& tube : tubes_) {
        if (tube) {
            setTextColour(tube, colour);
        }
    }
}

void SerialPortDemoController::colorc1()
{
    applyWellColourToTube(0);
}

void SerialPortDemoController::color2()
{
    applyWellColourToTube(1);
}

void SerialPortDemoController::color3()
{
    applyWellColourToTube(2);
}

void SerialPortDemoController::color4()
{
    applyWellColourToTube(3);
}

void SerialPortDemoController::color5()
{
    applyWellColourToTube(4);
}

void SerialPortDemoController::color6()
{
    applyWellColourToTube(5);
}

void SerialPortDemoController::tickDown()
{
    // A fresh QLocale each tick, so a change of the user's locale shows at the
    // next tick. One code point per tube: a locale whose digits lie outside
    // the BMP (Adlam) would otherwise leave half a surrogate pair in each
    // field, and such frames cannot be encoded at all.
    const QList<uint> digits = QLocale().toString(clock_(), QStringLiteral("HHmmss")).toUcs4();
    for (int i = 0; i < tubeCount; ++i) {
        if (!tubes_[i]) {
            continue;
        }
        QString digit;
        if (i < digits.size()) {
            const auto codePoint = static_cast<char32_t>(digits[i]);
            digit = QString::fromUcs4(&codePoint, 1);
        }
        tubes_[i]->setText(digit);
    }
    if (const auto frame = frameString(QLatin1Char('/'))) {
        sendString(*frame);
    }
}

void SerialPortDemoController::senddate()
{
    // One sync timer for the controller's life: a further press restarts it
    // instead of adding a second stream of frames.
    if (!timer_) {
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(tickIntervalMs);
        connect(timer_, &QTimer::timeout, this, &SerialPortDemoController::tickDown);
    }
    timer_->start();
    for (int i = 0; i < tubeCount; ++i) {
        applyWellColourToTube(i);
    }
    if (const auto frame = frameString(QLatin1Char('/'))) {
        sendString(*frame);
    }
}

void SerialPortDemoController::stop()
{
    if (timer_) {
        timer_->stop();
    }
}

void SerialPortDemoController::save()
{
    if (const auto frame = frameString(QLatin1Char('*'))) {
        sendString(*frame);
    }
}
