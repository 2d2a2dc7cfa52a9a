// The real binary, ended by a signal while it has a port open: it must quit
// the way its Quit does, closing the port and putting the terminal's
// original attributes back, not die of the signal's default action; and it
// must leave the terminal open to a normal user again (no exclusive flag
// left on it while the device side lives on).
#include <csignal>
#include <fcntl.h>
#include <termios.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include "ports/PortProblem.h"
#include "support/NormalUser.h"
#include "support/PseudoTerminal.h"
#include "support/UniqueFd.h"

using test::PseudoTerminal;

namespace {

bool sameAttributes(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

termios attributesOf(int fd)
{
    termios t{};
    ::tcgetattr(fd, &t);
    return t;
}

}  // namespace

class TerminationTests : public QObject {
    Q_OBJECT

private slots:
    void aSignalClosesThePortAndRestoresItsAttributes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void aSignalClosesThePortAndRestoresItsAttributes()
    {
        QFETCH(int, signal);
        PseudoTerminal pty;
        QVERIFY(test::handToNobody(pty.path()));
        // A descriptor of our own on the device side the port opens, to read
        // its attributes while the program holds it.
        const vel::UniqueFd probe(::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        QVERIFY(probe);
        const termios before = attributesOf(probe.get());

        QProcess halodial;
        halodial.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        halodial.start(QStringLiteral(HALODIAL_BINARY),
                       {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--port"),
                        QString::fromStdString(pty.path()), QStringLiteral("--open")});
        QVERIFY(halodial.waitForStarted(30000));
        // Open once the port holds the device's lock and has made the
        // terminal its own (both on the program's main thread, in one go).
        const QString path = QString::fromStdString(pty.path());
        QVERIFY(QTest::qWaitFor(
            [&] {
                const auto holder = PortProblem::holderOf(path);
                return holder && holder->pid == halodial.processId() &&
                       !sameAttributes(attributesOf(probe.get()), before);
            },
            60000));
        QCOMPARE(test::openErrorAsNormalUser(pty.path()), EBUSY);

        QElapsedTimer sinceSignal;
        sinceSignal.start();
        QCOMPARE(::kill(static_cast<pid_t>(halodial.processId()), signal), 0);
        QVERIFY(halodial.waitForFinished(30000));
        const qint64 took = sinceSignal.elapsed();
        QCOMPARE(halodial.exitStatus(), QProcess::NormalExit);
        QCOMPARE(halodial.exitCode(), 0);
        QVERIFY2(took < 1500, qPrintable(QStringLiteral("exit took %1 ms").arg(took)));
        QVERIFY(sameAttributes(attributesOf(probe.get()), before));
        QCOMPARE(test::openErrorAsNormalUser(pty.path()), 0);
    }
};

QTEST_GUILESS_MAIN(TerminationTests)
#include "TerminationTests.moc"
