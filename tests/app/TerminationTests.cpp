// The real binary, ended by a signal while it has a port open: it must quit
// the way its Quit does, closing the port and putting the terminal's
// original attributes back, not die of the signal's default action.
#include <csignal>
#include <fcntl.h>
#include <termios.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include "PseudoTerminal.h"
#include "support/UniqueFd.h"

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
        // A descriptor of our own on the device side the port opens, to read
        // its attributes while the program holds it.
        const vel::UniqueFd probe(::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        QVERIFY(probe);
        const termios before = attributesOf(probe.get());

        QProcess halodial;
        halodial.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        halodial.start(QStringLiteral(HALODIAL_BINARY),
                       {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--port"),
                        QString::fromStdString(pty.slavePath()), QStringLiteral("--open")});
        QVERIFY(halodial.waitForStarted(30000));
        // Open once the port has made the terminal its own.
        QVERIFY(QTest::qWaitFor([&] { return !sameAttributes(attributesOf(probe.get()), before); }, 60000));
        QTest::qWait(200);  // past the open's own follow-up steps

        QElapsedTimer sinceSignal;
        sinceSignal.start();
        QCOMPARE(::kill(static_cast<pid_t>(halodial.processId()), signal), 0);
        QVERIFY(halodial.waitForFinished(30000));
        const qint64 took = sinceSignal.elapsed();
        QCOMPARE(halodial.exitStatus(), QProcess::NormalExit);
        QCOMPARE(halodial.exitCode(), 0);
        QVERIFY2(took < 1500, qPrintable(QStringLiteral("exit took %1 ms").arg(took)));
        QVERIFY(sameAttributes(attributesOf(probe.get()), before));
    }
};

QTEST_GUILESS_MAIN(TerminationTests)
#include "TerminationTests.moc"
