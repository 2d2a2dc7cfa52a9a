#pragma once

#include <QObject>
#include <memory>

#include "dispatch/MainQueue.h"

// The serial library's main thread is Qt's GUI thread: tasks become queued
// invocations on a context object living there, and descriptor watches become
// socket notifiers of its event loop. Create it on the GUI thread, before the
// library first needs a main queue.
class QtMainQueue final : public vel::MainQueue {
public:
    QtMainQueue();

    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    void post(std::function<void()> task) override;
    void postAndWait(std::function<void()> task) override;
    bool isMainThread() const override;
    std::unique_ptr<vel::DescriptorWatch> watchReadable(int fd, std::function<void()> onReadable) override;

private:
    // Plain QObject owned here rather than qApp, so the queue works with any
    // QCoreApplication and never outlives its receiver.
    std::unique_ptr<QObject> context_;
};
