#include "dispatch/SerialQueue.h"

#include <asio/post.hpp>
#include <exception>
#include <future>

#include "dispatch/GlobalQueue.h"

namespace vel {

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), strand_(asio::make_strand(GlobalQueue::serialExecutor()))
{
}

SerialQueue::SerialQueue(std::string label, asio::any_io_executor executor)
    : label_(std::move(label)), strand_(asio::make_strand(std::move(executor)))
{
}

void SerialQueue::async(std::function<void()> task)
{
    asio::post(strand_, std::move(task));
}

void SerialQueue::sync(const std::function<void()>& task)
{
    if (strand_.running_in_this_thread()) {
        task();
        return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    // The task is borrowed, not copied: this frame outlives the queued call
    // because it waits for it below.
    asio::post(strand_, [&task, done = std::move(done)]() mutable {
        try {
            task();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}

bool SerialQueue::isCurrent() const
{
    return strand_.running_in_this_thread();
}

}  // namespace vel
