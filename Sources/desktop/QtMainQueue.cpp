#include "desktop/QtMainQueue.h"

#include <QThread>

#include "desktop/QtDescriptorWatch.h"

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

void QtMainQueue::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

bool QtMainQueue::isMainThread() const
{
    return QThread::currentThread() == context_->thread();
}

std::unique_ptr<vel::DescriptorWatch> QtMainQueue::watchReadable(int fd, std::function<void()> onReadable)
{
    return watch(fd, QtDescriptorWatch::Kind::Readable, std::move(onReadable));
}

std::unique_ptr<vel::DescriptorWatch> QtMainQueue::watchWritable(int fd, std::function<void()> onWritable)
{
    return watch(fd, QtDescriptorWatch::Kind::Writable, std::move(onWritable));
}

std::unique_ptr<vel::DescriptorWatch> QtMainQueue::watch(int fd, QtDescriptorWatch::Kind kind,
                                                         std::function<void()> onReady)
{
    // The notifier has to be born on the thread whose loop it joins.
    std::unique_ptr<vel::DescriptorWatch> watch;
    postAndWait([&] { watch = std::make_unique<QtDescriptorWatch>(fd, kind, std::move(onReady)); });
    return watch;
}
