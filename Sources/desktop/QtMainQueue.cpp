#include "desktop/QtMainQueue.h"

#include <QThread>

#include "desktop/QtDescriptorWatch.h"

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

void QtMainQueue::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

void QtMainQueue::postAndWait(std::function<void()> task)
{
    if (isMainThread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::BlockingQueuedConnection);
}

bool QtMainQueue::isMainThread() const
{
    return QThread::currentThread() == context_->thread();
}

std::unique_ptr<vel::DescriptorWatch> QtMainQueue::watchReadable(int fd, std::function<void()> onReadable)
{
    // The notifier has to be born on the thread whose loop it joins.
    std::unique_ptr<vel::DescriptorWatch> watch;
    postAndWait([&] { watch = std::make_unique<QtDescriptorWatch>(fd, std::move(onReadable)); });
    return watch;
}
