#include "desktop/QtDescriptorWatch.h"

#include <QSocketNotifier>
#include <QThread>

QtDescriptorWatch::QtDescriptorWatch(int fd, Kind kind, std::function<void()> onReady)
    : notifier_(std::make_unique<QSocketNotifier>(
          fd, kind == Kind::Readable ? QSocketNotifier::Read : QSocketNotifier::Write))
{
    connection_ = QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                                   [handler = std::move(onReady)] { handler(); });
}

QtDescriptorWatch::~QtDescriptorWatch()
{
    // Disconnecting is thread-safe; touching the notifier is not.
    QObject::disconnect(connection_);
    if (notifier_->thread() != QThread::currentThread()) {
        notifier_.release()->deleteLater();
    }
}
