#pragma once

#include <QMetaObject>
#include <functional>
#include <memory>

#include "dispatch/MainQueue.h"

class QSocketNotifier;

// A readability or writability watch on Qt's event loop. The notifier belongs to the GUI
// thread; the watch may still be dropped from another thread, in which case
// the handler is cut off at once and the notifier is deleted by its own
// thread's event loop.
class QtDescriptorWatch final : public vel::DescriptorWatch {
public:
    enum class Kind { Readable, Writable };
    // Must run on the thread whose event loop is to watch fd.
    QtDescriptorWatch(int fd, Kind kind, std::function<void()> onReady);
    ~QtDescriptorWatch() override;

    QtDescriptorWatch(const QtDescriptorWatch&) = delete;
    QtDescriptorWatch& operator=(const QtDescriptorWatch&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    QMetaObject::Connection connection_;
};
