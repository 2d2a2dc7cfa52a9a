#pragma once

#include <asio/any_io_executor.hpp>
#include <functional>

namespace vel {

// The process-wide concurrent background queue: read handlers, modem-line
// polls and the real close of every port run here. Its work may block while
// it waits for the main thread, so the pool has more threads than cores.
// The pool lives until the process ends: it is never joined, because a
// worker may be waiting for a main thread that is itself exiting.
//
// An exception that escapes a task ends the process (std::terminate): it is
// a programming error, and there is no caller left to report it to.
class GlobalQueue {
public:
    static asio::any_io_executor executor();
    static void async(std::function<void()> task);

    // The executor that serial queues run on: a pool of its own, whose
    // threads never wait for the main thread, so that the main thread can
    // wait for a serial queue without starving it.
    static asio::any_io_executor serialExecutor();
};

}  // namespace vel
