#include "dispatch/GlobalQueue.h"

#include <algorithm>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>
#include <thread>

#include "support/NoDestroy.h"

namespace vel {

namespace {

// Both pools are immortal (see NoDestroy): joining them at exit could hang on
// a worker that waits for the exiting main thread.
asio::thread_pool& globalPool()
{
    static NoDestroy<asio::thread_pool> pool(
        static_cast<std::size_t>(std::max(4u, 2 * std::thread::hardware_concurrency())));
    return pool.get();
}

asio::thread_pool& serialPool()
{
    // Serial-queue work never blocks on the main thread, so a few threads
    // suffice whatever the core count.
    static NoDestroy<asio::thread_pool> pool(
        static_cast<std::size_t>(std::clamp(std::thread::hardware_concurrency(), 2u, 4u)));
    return pool.get();
}

}  // namespace

asio::any_io_executor GlobalQueue::executor()
{
    return globalPool().get_executor();
}

void GlobalQueue::async(std::function<void()> task)
{
    asio::post(globalPool().get_executor(), std::move(task));
}

asio::any_io_executor GlobalQueue::serialExecutor()
{
    return serialPool().get_executor();
}

}  // namespace vel
