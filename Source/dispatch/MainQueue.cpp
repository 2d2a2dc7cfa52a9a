#include "dispatch/MainQueue.h"


#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "support/Diagnostics.h"
#include "dispatch/GlobalQueue.h"
#include "support/NoDestroy.h"

namespace vel {

namespace {

struct Installed {
    std::mutex mutex;
    std::shared_ptr<MainQueue> queue;
};

// Every postAndWait in progress waits here, so that the exit can release all
// of them at once.
struct Waits {
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> mainLoopEnded{false};
};

Waits& waits()
{
    static NoDestroy<Waits> holder;
    return holder.get();
}

// One wait: finished when the task has run or has been dropped unrun.
struct Wait {
    bool finished = false;
    std::exception_ptr error;
};

// Travels with the task: marks the wait finished when destroyed, whether the
// task ran or the queue dropped it.
class Completion {
public:
    explicit Completion(std::shared_ptr<Wait> wait) : wait_(std::move(wait)) {}
    Completion(Completion&& other) noexcept = default;
    Completion& operator=(Completion&&) = delete;
    ~Completion()
    {
        if (!wait_) {
            return;
        }
        Waits& all = waits();
        {
            std::lock_guard lock(all.mutex);
            wait_->finished = true;
            wait_->error = error_;
        }
        all.changed.notify_all();
    }
    void fail(std::exception_ptr error) { error_ = std::move(error); }

private:
    std::shared_ptr<Wait> wait_;
    std::exception_ptr error_;
};

// Never destroyed: pool threads may still reach for the main queue while the
// process runs its static destructors.
Installed& installed()
{
    static NoDestroy<Installed> holder;
    return holder.get();
}

}  // namespace

void MainQueue::postAndWait(std::function<void()> task)
{
    if (isMainThread()) {
        task();
        return;
    }
    Waits& all = waits();
    if (all.mainLoopEnded) {
        return;
    }
    auto wait = std::make_shared<Wait>();
    auto completion = std::make_shared<Completion>(wait);
    post([task = std::move(task), completion]() mutable {
        try {
            task();
        } catch (...) {
            completion->fail(std::current_exception());
        }
        completion.reset();
    });
    completion.reset();
    std::unique_lock lock(all.mutex);
    all.changed.wait(lock, [&] { return wait->finished || all.mainLoopEnded; });
    if (wait->finished && wait->error) {
        std::rethrow_exception(wait->error);
    }
}

void MainQueue::mainLoopHasEnded()
{
    Waits& all = waits();
    {
        std::lock_guard lock(all.mutex);
        all.mainLoopEnded = true;
    }
    all.changed.notify_all();
}

bool MainQueue::hasMainLoopEnded()
{
    return waits().mainLoopEnded;
}

std::shared_ptr<MainQueue> MainQueue::shared()
{
    Installed& state = installed();
    std::lock_guard lock(state.mutex);
    if (!state.queue) {
        raise("vel::MainQueue::shared(): no main queue is installed; call vel::MainQueue::setShared() "
              "before using ports or the port manager.");
    }
    return state.queue;
}

bool MainQueue::hasShared()
{
    Installed& state = installed();
    std::lock_guard lock(state.mutex);
    return static_cast<bool>(state.queue);
}

void MainQueue::setShared(std::shared_ptr<MainQueue> queue)
{
    Installed& state = installed();
    std::shared_ptr<MainQueue> previous;
    {
        std::lock_guard lock(state.mutex);
        previous = std::exchange(state.queue, std::move(queue));
    }
    // The old queue may go away here; not under the lock, in case its
    // destruction runs code that asks for the shared queue.
}

}  // namespace vel
