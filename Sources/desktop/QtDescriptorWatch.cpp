#include "desktop/QtDescriptorWatch.h"

#include <QSocketNotifier>
#include <QThread>

QtDescriptorWatch::QtDescriptorWatch(int fd, std::function<void()> onReadable)
    : notifier_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read))
{
    connection_ = QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                                   [handler = std::move(onReadable)] { handler(); });
}

QtDescriptorWatch::~QtDescriptorWatch()
{
    // Disconnecting is thread-safe; touching the notifier is not.
    QObject::disconnect(connection_);
    if (notifier_->thread() != QThread::currentThread()) {
        notifier_.release()->deleteLater();
    }
}
