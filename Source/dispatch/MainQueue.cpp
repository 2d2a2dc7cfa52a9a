#include "dispatch/MainQueue.h"


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

// Never destroyed: pool threads may still reach for the main queue while the
// process runs its static destructors.
Installed& installed()
{
    static NoDestroy<Installed> holder;
    return holder.get();
}

}  // namespace

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
