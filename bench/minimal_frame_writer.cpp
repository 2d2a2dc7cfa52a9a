// The least a Qt program can do to put the time on the clock: open the
// terminal, write one time frame, and wait in the event loop. The service
// benchmark starts it beside halodial --headless as the baseline.
//
//   minimal_frame_writer /dev/pts/N
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLocale>
#include <QTime>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return 1;
    }
    termios attributes{};
    ::tcgetattr(fd, &attributes);
    ::cfmakeraw(&attributes);
    ::cfsetspeed(&attributes, B115200);
    ::tcsetattr(fd, TCSANOW, &attributes);
    const QString digits = QLocale::c().toString(QTime::currentTime(), QStringLiteral("HHmmss"));
    QByteArray frame("/");
    for (const QChar digit : digits) {
        frame += char(digit.unicode());
        frame += "FF7A1A";
    }
    if (::write(fd, frame.constData(), static_cast<size_t>(frame.size())) != frame.size()) {
        return 1;
    }
    return QCoreApplication::exec();
}
