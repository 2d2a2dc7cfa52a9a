#pragma once

// The tests' one pseudo-terminal: the port under test opens the slave path,
// the test plays the device on the raw master side. For the library's
// GoogleTest binaries and the application's Qt Test binaries alike; in a Qt
// test (QT_TESTLIB_LIB) the bytes are a QByteArray and waiting runs the
// event loop, so that the port, which writes from the GUI thread, gets on.
// Nothing here sleeps to synchronise: every wait is for bytes, with a
// deadline.

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifdef QT_TESTLIB_LIB
#include <QByteArray>
#include <QTest>
#endif

#include "support/UniqueFd.h"

namespace test {

#ifdef QT_TESTLIB_LIB
using Bytes = QByteArray;

inline void appendTo(Bytes& bytes, const char* data, std::size_t size)
{
    bytes.append(data, static_cast<qsizetype>(size));
}

inline Bytes takeFront(Bytes& bytes, std::size_t count)
{
    Bytes head = bytes.left(static_cast<qsizetype>(count));
    bytes.remove(0, head.size());
    return head;
}
#else
using Bytes = std::vector<std::uint8_t>;

inline void appendTo(Bytes& bytes, const char* data, std::size_t size)
{
    bytes.insert(bytes.end(), data, data + size);
}

inline Bytes takeFront(Bytes& bytes, std::size_t count)
{
    const auto length = static_cast<std::ptrdiff_t>(std::min(bytes.size(), count));
    Bytes head(bytes.begin(), bytes.begin() + length);
    bytes.erase(bytes.begin(), bytes.begin() + length);
    return head;
}
#endif

// Reads what a port wrote at a master side that someone else owns (a
// virtual device's), without blocking.
class MasterReader {
public:
    explicit MasterReader(int masterFd = -1) : fd_(masterFd) {}

    // The next `count` bytes, waiting up to `deadline` for them; fewer only
    // when they did not come.
    Bytes take(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (readAvailable(), static_cast<std::size_t>(pending_.size()) < count &&
                                    std::chrono::steady_clock::now() < end) {
            waitBriefly();
        }
        return takeFront(pending_, count);
    }

    // Everything that has arrived so far.
    Bytes takeAll()
    {
        readAvailable();
        return std::exchange(pending_, Bytes());
    }

private:
    void readAvailable()
    {
        std::array<char, 4096> chunk{};
        pollfd ready{fd_, POLLIN, 0};
        while (fd_ >= 0 && ::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
            const ssize_t n = ::read(fd_, chunk.data(), chunk.size());
            if (n <= 0) {
                return;
            }
            appendTo(pending_, chunk.data(), static_cast<std::size_t>(n));
        }
    }

    // Up to 5 ms for the next bytes; the event loop runs meanwhile in a Qt
    // test. Returns early when bytes come.
    void waitBriefly()
    {
#ifdef QT_TESTLIB_LIB
        QTest::qWait(5);
#else
        pollfd ready{fd_, POLLIN, 0};
        ::poll(&ready, 1, 5);
#endif
    }

    int fd_;
    Bytes pending_;
};

// A pseudo-terminal of the test's own. Its master is raw and not inherited
// by programs the test starts (which would keep the line up after the test
// hangs up); it blocks, as a device that stops reading holds up a writer,
// and the reads here look before they read.
class PseudoTerminal {
public:
    enum class Slave {
        // The test holds the slave open as well: the master never sees a
        // hang-up while the port is closed.
        KeptOpen,
        // The port under test is to be the only opener of the slave.
        Closed,
    };

    // Throws std::runtime_error when no pseudo-terminal can be made.
    explicit PseudoTerminal(Slave slave = Slave::KeptOpen)
    {
        int master = -1;
        int slaveFd = -1;
        std::array<char, PATH_MAX> name{};
        if (::openpty(&master, &slaveFd, name.data(), nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        master_.reset(master);
        slave_.reset(slaveFd);
        path_ = name.data();
        termios raw{};
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slaveFd, F_SETFD, FD_CLOEXEC);
        if (slave == Slave::Closed) {
            slave_.reset();
        }
        reader_ = MasterReader(master);
    }

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_.get(); }
    // The test's own descriptor of the slave (-1 once closed).
    int slave() const { return slave_.get(); }
    // The slave's path, /dev/pts/N.
    const std::string& path() const { return path_; }
    // Closing the master hangs up on whoever has the slave open.
    void hangUp()
    {
        reader_ = MasterReader();
        master_.reset();
    }
    void closeSlave() { slave_.reset(); }

    // The slave's attributes, as the master side sees them.
    termios attributes() const
    {
        termios t{};
        ::tcgetattr(master_.get(), &t);
        return t;
    }

    // Says `bytes` to the port, waiting while the line is full; false when
    // the master refused them.
    bool write(const Bytes& bytes)
    {
        std::size_t done = 0;
        const auto size = static_cast<std::size_t>(bytes.size());
        while (done < size) {
            const ssize_t n = ::write(master_.get(), bytes.data() + done, size - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EINTR) {
                break;
            }
        }
        return done == size;
    }

    // What the port wrote: `count` bytes, or fewer if they did not come
    // within the deadline.
    Bytes take(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        return reader_.take(count, deadline);
    }
    // Whatever the port has written so far, without waiting.
    Bytes takeAll() { return reader_.takeAll(); }
    // Whatever arrives within `window`, for what must not come.
    Bytes drain(std::chrono::milliseconds window) { return take(std::size_t{1} << 30, window); }
    bool staysSilentFor(std::chrono::milliseconds window) { return drain(window).size() == 0; }

private:
    vel::UniqueFd master_;
    vel::UniqueFd slave_;
    std::string path_;
    MasterReader reader_;
};

}  // namespace test
