#include "ports/PortProblem.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cstring>

#include "support/PosixError.h"

namespace {

QString commandOf(pid_t pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// /proc/locks names the locked file as "MAJOR:MINOR:INODE" of the file
// system holding it, the numbers in hex, the inode in decimal.
std::optional<pid_t> lockOwnerOf(const struct stat& node)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QString wanted = QStringLiteral("%1:%2:%3")
                               .arg(major(node.st_dev), 2, 16, QLatin1Char('0'))
                               .arg(minor(node.st_dev), 2, 16, QLatin1Char('0'))
                               .arg(node.st_ino);
    const pid_t self = ::getpid();
    while (!locks.atEnd()) {
        // "1: FLOCK  ADVISORY  WRITE 4242 00:19:5 0 EOF"; a blocked waiter
        // has "->" after the number and is not the holder.
        const QStringList fields = QString::fromLatin1(locks.readLine()).simplified().split(QLatin1Char(' '));
        if (fields.size() < 6 || fields[1] == QLatin1String("->")) {
            continue;
        }
        bool isNumber = false;
        const pid_t pid = fields[4].toInt(&isNumber);
        if (isNumber && pid != self && fields[5].compare(wanted, Qt::CaseInsensitive) == 0) {
            return pid;
        }
    }
    return std::nullopt;
}

std::optional<pid_t> openerOf(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const pid_t self = ::getpid();
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : processes) {
        bool isNumber = false;
        const pid_t pid = entry.toInt(&isNumber);
        if (!isNumber || pid == self) {
            continue;
        }
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QString& fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = QFile::symLinkTarget(fds.filePath(fd));
            if (!target.isEmpty() && (target == canonical || target == path)) {
                return pid;
            }
        }
    }
    return std::nullopt;
}

QString inUse(int code, const QString& path)
{
    const auto holder = PortProblem::holderOf(path);
    if (!holder && code == EBUSY) {
        // EBUSY comes from open() on a terminal whose exclusive flag
        // (TIOCEXCL) is set; the flag outlives the program that set it as
        // long as anything keeps the device open, even the kernel's own
        // console. No program to blame, then: say what is left and how to
        // clear it (GNU stty has no switch for the flag).
        return PortProblem::tr("%1 is set to exclusive use, but no program holds it. Unplug it and plug it in "
                               "again, or clear the flag as root: sudo python3 -c 'import fcntl, os, termios; "
                               "fcntl.ioctl(os.open(\"%1\", os.O_RDWR | os.O_NONBLOCK | os.O_NOCTTY), "
                               "termios.TIOCNXCL)'")
            .arg(path);
    }
    if (!holder) {
        return PortProblem::tr("%1 is in use by another program.").arg(path);
    }
    QString message =
        holder->command.isEmpty()
            ? PortProblem::tr("%1 is in use by process %2.").arg(path).arg(holder->pid)
            : PortProblem::tr("%1 is in use by %2, process %3.").arg(path, holder->command).arg(holder->pid);
    // The two usual culprits on a desktop take a new serial device for a
    // modem or a Braille display before the user gets to it.
    if (holder->command == QLatin1String("ModemManager")) {
        message += QLatin1Char(' ') + PortProblem::tr("ModemManager probes new serial devices as modems: stop it "
                                                      "(sudo systemctl stop ModemManager) or mark the device to be "
                                                      "ignored.");
    } else if (holder->command.startsWith(QLatin1String("brltty"))) {
        message += QLatin1Char(' ') + PortProblem::tr("brltty takes some USB serial adapters for Braille displays: "
                                                      "remove it (sudo apt remove brltty) unless you use one.");
    }
    return message;
}

}  // namespace

QString PortProblem::describe(int code, const QString& path)
{
    switch (code) {
    case EACCES:
    case EPERM: {
        const QString group = groupOf(path);
        if (group.isEmpty() || group == QLatin1String("root")) {
            return tr("Permission denied for %1.").arg(path);
        }
        return tr("Permission denied for %1. Add yourself to the group %2 (sudo usermod -aG %2 $USER) "
                  "and log in again.")
            .arg(path, group);
    }
    case EWOULDBLOCK:
    case EBUSY:
        return inUse(code, path);
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return tr("No device at %1 (unplugged?)").arg(path);
    default:
        return tr("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(code)));
    }
}

QString PortProblem::describe(const vel::PosixError& error)
{
    return describe(error.code(), QString::fromStdString(error.path()));
}

std::optional<PortProblem::Holder> PortProblem::holderOf(const QString& path)
{
    struct stat node {};
    std::optional<pid_t> pid;
    if (::stat(QFile::encodeName(path).constData(), &node) == 0) {
        pid = lockOwnerOf(node);
    }
    if (!pid) {
        pid = openerOf(path);
    }
    if (!pid) {
        return std::nullopt;
    }
    return Holder{commandOf(*pid), *pid};
}

QString PortProblem::groupOf(const QString& path)
{
    struct stat node {};
    if (::stat(QFile::encodeName(path).constData(), &node) != 0) {
        return {};
    }
    std::array<char, 4096> buffer{};
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(node.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return {};
    }
    return QString::fromLocal8Bit(found->gr_name);
}
