#pragma once

#include <QObject>
#include <memory>

#include "desktop/QtDescriptorWatch.h"
#include "dispatch/MainQueue.h"

// The serial library's main thread is Qt's GUI thread: tasks become queued
// invocations on a context object living there, and descriptor watches become
// socket notifiers of its event loop, so open ports read and write on it.
// postAndWait is the library's own (it stops waiting once the process exits). Create it on the GUI thread, before the
// library first needs a main queue.
class QtMainQueue final : public vel::MainQueue {
public:
    QtMainQueue();

    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    void post(std::function<void()> task) override;
    bool isMainThread() const override;
    std::unique_ptr<vel::DescriptorWatch> watchReadable(int fd, std::function<void()> onReadable) override;
    std::unique_ptr<vel::DescriptorWatch> watchWritable(int fd, std::function<void()> onWritable) override;

private:
    std::unique_ptr<vel::DescriptorWatch> watch(int fd, QtDescriptorWatch::Kind kind, std::function<void()> onReady);

    // Plain QObject owned here rather than qApp, so the queue works with any
    // QCoreApplication and never outlives its receiver.
    std::unique_ptr<QObject> context_;
};
