#include "desktop/SessionBusProbe.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QStringList>
#include <cstring>
#include <optional>

#include "support/UniqueFd.h"

namespace {

// The socket address of the first Unix-socket entry of the address.
std::optional<std::pair<sockaddr_un, socklen_t>> unixAddressOf(const QString& address)
{
    for (const QString& entry : address.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!entry.startsWith(QLatin1String("unix:"))) {
            continue;
        }
        for (const QString& pair : entry.mid(5).split(QLatin1Char(','))) {
            const QByteArray key = pair.section(QLatin1Char('='), 0, 0).toLatin1();
            const QByteArray value = QByteArray::fromPercentEncoding(pair.section(QLatin1Char('='), 1).toLatin1());
            if ((key != "path" && key != "abstract") || value.isEmpty()) {
                continue;
            }
            sockaddr_un socketAddress{};
            socketAddress.sun_family = AF_UNIX;
            const bool abstract = key == "abstract";
            const auto room = sizeof(socketAddress.sun_path) - 1 - (abstract ? 1 : 0);
            if (static_cast<std::size_t>(value.size()) > room) {
                continue;
            }
            std::memcpy(socketAddress.sun_path + (abstract ? 1 : 0), value.constData(),
                        static_cast<std::size_t>(value.size()));
            const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) +
                                                       static_cast<std::size_t>(value.size()) + (abstract ? 0 : 1));
            return std::make_pair(socketAddress, length);
        }
    }
    return std::nullopt;
}

}  // namespace

SessionBusProbe::Outcome SessionBusProbe::probe(const QString& address, std::chrono::milliseconds deadline)
{
    const auto target = unixAddressOf(address);
    if (!target) {
        return Outcome::Unknown;
    }
    const vel::UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        return Outcome::Unreachable;
    }
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&target->first), target->second) != 0) {
        return Outcome::Unreachable;
    }
    // The first step of the D-Bus handshake: a NUL byte, then a request for
    // the authentication mechanisms. Any bus answers it with a line.
    const QByteArray hello("\0AUTH\r\n", 7);
    if (::send(socket.get(), hello.constData(), static_cast<std::size_t>(hello.size()), MSG_NOSIGNAL) !=
        hello.size()) {
        return Outcome::Unreachable;
    }
    const QDeadlineTimer timer(deadline);
    while (!timer.hasExpired()) {
        pollfd ready{socket.get(), POLLIN, 0};
        const int n = ::poll(&ready, 1, static_cast<int>(std::max<qint64>(1, timer.remainingTime())));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        char answer[64];
        const ssize_t got = ::recv(socket.get(), answer, sizeof answer, 0);
        return got > 0 ? Outcome::Answers : Outcome::Unreachable;
    }
    return Outcome::Silent;
}

SessionBusProbe::Outcome SessionBusProbe::probeSessionBus(std::chrono::milliseconds deadline)
{
    return probe(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), deadline);
}
