#include "virtualclock/VirtualClock.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <string_view>
#include <cerrno>
#include <system_error>

#include "devices/VirtualDeviceRegistry.h"

namespace {

// Pauses between looks at a master that reports a hang-up.
constexpr int kHangUpRetryMs = 100;
constexpr int kSilenceMs = 100;
// Reads per wake-up, so that a flood cannot starve the event loop.
constexpr int kMaxReadsPerWake = 16;

}  // namespace

VirtualClock::VirtualClock(QObject* parent) : QObject(parent)
{
    tubes_.colours.fill(Qt::black);
    hangUpRetry_.setSingleShot(true);
    hangUpRetry_.setInterval(kHangUpRetryMs);
    connect(&hangUpRetry_, &QTimer::timeout, this, &VirtualClock::resumeReading);
    silence_.setSingleShot(true);
    silence_.setInterval(kSilenceMs);
    connect(&silence_, &QTimer::timeout, &parser_, &ClockFrameParser::flush);
    connect(&parser_, &ClockFrameParser::frameParsed, this, &VirtualClock::apply);
    connect(&parser_, &ClockFrameParser::unparseable, this, &VirtualClock::reject);
    plugIn();
}

VirtualClock::~VirtualClock()
{
    // Quietly: nobody should hear from an object being destroyed.
    const QSignalBlocker blocker(this);
    unplug();
}

QString VirtualClock::deviceName() const
{
    return device_ ? QString::fromStdString(device_->name()) : QString();
}

QString VirtualClock::devicePath() const
{
    return device_ ? QString::fromStdString(device_->path()) : QString();
}

bool VirtualClock::plugIn()
{
    if (device_) {
        return true;
    }
    auto& registry = vel::VirtualDeviceRegistry::shared();
    try {
        if (suffix_) {
            try {
                device_ = registry.createDevice(kBaseName, *suffix_);
            } catch (const std::system_error& error) {
                // Someone else's device has the name meanwhile: a new one.
                if (error.code() != std::errc::file_exists) {
                    throw;
                }
            }
        }
        if (!device_) {
            device_ = registry.createDevice(kBaseName);
            suffix_ = device_->name().substr(std::string_view(kBaseName).size());
        }
    } catch (const std::system_error& error) {
        errorString_ = QString::fromLocal8Bit(error.what());
        return false;
    }
    errorString_.clear();
    const int fd = device_->masterFd();
    // Never block the GUI thread: a read with nothing to read, or a reply to
    // a port that has stopped reading, gives up instead.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &VirtualClock::readMaster);
    emit pluggedInChanged(true);
    return true;
}

void VirtualClock::unplug()
{
    if (!device_) {
        return;
    }
    hangUpRetry_.stop();
    silence_.stop();
    // Unplugging may happen from within one of the notifier's own wake-ups.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
    vel::VirtualDeviceRegistry::shared().removeDevice(device_);
    device_->closeMaster();
    device_.reset();
    parser_.flush();
    emit pluggedInChanged(false);
}

void VirtualClock::readMaster()
{
    std::array<char, 4096> chunk{};
    for (int reads = 0; device_ && reads < kMaxReadsPerWake; ++reads) {
        const ssize_t n = ::read(device_->masterFd(), chunk.data(), chunk.size());
        if (n > 0) {
            silence_.start();
            parser_.feed(QByteArrayView(chunk.data(), n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            // EIO (or end of file): the last port closed the device. That is
            // no end, a port may open it again, but the master stays readable
            // until then.
            pauseReading();
            return;
        }
    }
}

void VirtualClock::pauseReading()
{
    notifier_->setEnabled(false);
    hangUpRetry_.start();
}

void VirtualClock::resumeReading()
{
    if (notifier_) {
        notifier_->setEnabled(true);
    }
}

void VirtualClock::apply(const ClockFrame& frame)
{
    tubes_ = frame;
    lastFrameKind_ = frame.kind;
    lastFrameTime_ = QDateTime::currentDateTime();
    if (frame.kind == ClockFrame::Kind::Save) {
        ++saveFrameCount_;
        answerSave(frame);
    } else {
        ++timeFrameCount_;
    }
    emit stateChanged();
}

void VirtualClock::reject(const QByteArray& bytes)
{
    lastUnparseable_ = bytes;
    ++unparseableCount_;
    emit stateChanged();
}

void VirtualClock::answerSave(const ClockFrame& frame)
{
    if (!device_) {
        return;
    }
    QByteArray line = "SAVED ";
    for (const QString& digit : frame.digits) {
        line += digit.toUtf8();
    }
    line += "\r\n";
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(device_->masterFd(), line.constData() + written, size_t(line.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // The terminal is full (nobody reads) or the port went away: the
            // reply is lost, as it would be on the wire.
            return;
        }
    }
}
