#include "desktop/SessionBusProbe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QStringList>
#include <cstring>
#include <map>
#include <optional>

#include "support/UniqueFd.h"

namespace {

using Outcome = SessionBusProbe::Outcome;

// The key=value pairs of one address entry, values percent-decoded.
std::map<QByteArray, QByteArray> parametersOf(const QString& entry)
{
    std::map<QByteArray, QByteArray> parameters;
    for (const QString& pair : entry.section(QLatin1Char(':'), 1, -1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        parameters[pair.section(QLatin1Char('='), 0, 0).toLatin1()] =
            QByteArray::fromPercentEncoding(pair.section(QLatin1Char('='), 1, -1).toLatin1());
    }
    return parameters;
}

// Waits for a non-blocking connect() under way on `fd`.
bool connectedBefore(int fd, const QDeadlineTimer& timer)
{
    for (;;) {
        pollfd ready{fd, POLLOUT, 0};
        const int n = ::poll(&ready, 1, static_cast<int>(std::max<qint64>(0, timer.remainingTime())));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        int error = 0;
        socklen_t length = sizeof error;
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
}

// A connected socket to the Unix-socket entry, or none.
std::optional<vel::UniqueFd> connectUnix(const std::map<QByteArray, QByteArray>& parameters)
{
    QByteArray path;
    bool abstract = false;
    if (const auto it = parameters.find("path"); it != parameters.end()) {
        path = it->second;
    } else if (const auto it = parameters.find("abstract"); it != parameters.end()) {
        path = it->second;
        abstract = true;
    } else if (const auto it = parameters.find("runtime"); it != parameters.end() && it->second == "yes") {
        path = QFile::encodeName(qEnvironmentVariable("XDG_RUNTIME_DIR")) + "/bus";
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto room = sizeof(address.sun_path) - 1 - (abstract ? 1 : 0);
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) > room) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path + (abstract ? 1 : 0), path.constData(), static_cast<std::size_t>(path.size()));
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) +
                                               static_cast<std::size_t>(path.size()) + (abstract ? 0 : 1));
    vel::UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket || ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        return std::nullopt;
    }
    return socket;
}

// A connected socket to the TCP entry, or none. The name lookup is the
// system's and not bounded by the deadline; the connect is.
std::optional<vel::UniqueFd> connectTcp(const std::map<QByteArray, QByteArray>& parameters, const QDeadlineTimer& timer)
{
    const auto host = parameters.find("host");
    const auto port = parameters.find("port");
    if (port == parameters.end()) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_family = AF_UNSPEC;
    if (const auto family = parameters.find("family"); family != parameters.end()) {
        hints.ai_family = family->second == "ipv6" ? AF_INET6 : AF_INET;
    }
    addrinfo* found = nullptr;
    const QByteArray hostName = host != parameters.end() ? host->second : QByteArray("localhost");
    if (::getaddrinfo(hostName.constData(), port->second.constData(), &hints, &found) != 0) {
        return std::nullopt;
    }
    std::optional<vel::UniqueFd> connected;
    for (const addrinfo* candidate = found; candidate && !connected && !timer.hasExpired();
         candidate = candidate->ai_next) {
        vel::UniqueFd socket(
            ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, candidate->ai_protocol));
        if (!socket) {
            continue;
        }
        const int result = ::connect(socket.get(), candidate->ai_addr, candidate->ai_addrlen);
        if (result == 0 || (errno == EINPROGRESS && connectedBefore(socket.get(), timer))) {
            connected = std::move(socket);
        }
    }
    ::freeaddrinfo(found);
    return connected;
}

// Sends the first step of the D-Bus handshake, after the nonce of a
// nonce-tcp bus, and waits for the bus's first answer.
Outcome handshake(int socket, const QByteArray& nonce, const QDeadlineTimer& timer)
{
    // A NUL byte, then a request for the authentication mechanisms. Any bus
    // answers it with a line.
    const QByteArray hello = nonce + QByteArray("\0AUTH\r\n", 7);
    qsizetype sent = 0;
    while (sent < hello.size()) {
        const ssize_t n = ::send(socket, hello.constData() + sent, static_cast<std::size_t>(hello.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return Outcome::Unreachable;
        }
        pollfd ready{socket, POLLOUT, 0};
        if (timer.hasExpired() || ::poll(&ready, 1, static_cast<int>(std::max<qint64>(1, timer.remainingTime()))) == 0) {
            return Outcome::Silent;
        }
    }
    while (!timer.hasExpired()) {
        pollfd ready{socket, POLLIN, 0};
        const int n = ::poll(&ready, 1, static_cast<int>(std::max<qint64>(1, timer.remainingTime())));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        char answer[64];
        const ssize_t got = ::recv(socket, answer, sizeof answer, MSG_DONTWAIT);
        return got > 0 ? Outcome::Answers : Outcome::Unreachable;
    }
    return Outcome::Silent;
}

}  // namespace

SessionBusProbe::Outcome SessionBusProbe::probe(const QString& address, std::chrono::milliseconds deadline)
{
    const QDeadlineTimer timer(deadline);
    // Like libdbus: the entries in order, the first that connects is the
    // bus; an entry of a kind not known here might be that one.
    for (const QString& entry : address.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString transport = entry.section(QLatin1Char(':'), 0, 0);
        const auto parameters = parametersOf(entry);
        std::optional<vel::UniqueFd> socket;
        QByteArray nonce;
        if (transport == QLatin1String("unix")) {
            socket = connectUnix(parameters);
        } else if (transport == QLatin1String("tcp")) {
            socket = connectTcp(parameters, timer);
        } else if (transport == QLatin1String("nonce-tcp")) {
            const auto file = parameters.find("noncefile");
            QFile nonceFile(file != parameters.end() ? QFile::decodeName(file->second) : QString());
            if (!nonceFile.open(QIODevice::ReadOnly) || (nonce = nonceFile.read(16)).size() != 16) {
                continue;
            }
            socket = connectTcp(parameters, timer);
        } else {
            return Outcome::Unknown;
        }
        if (socket) {
            return handshake(socket->get(), nonce, timer);
        }
        if (timer.hasExpired()) {
            return Outcome::Silent;
        }
    }
    return address.trimmed().isEmpty() ? Outcome::Unknown : Outcome::Unreachable;
}

SessionBusProbe::Outcome SessionBusProbe::probeSessionBus(std::chrono::milliseconds deadline)
{
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    // Where libdbus looks without an address, before it tries to launch one.
    if (address.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        address = QStringLiteral("unix:runtime=yes");
    }
    return probe(address, deadline);
}
