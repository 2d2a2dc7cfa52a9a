// The display options through the real program on a pseudo-terminal: what
// the frames carry, what the settings file keeps from run to run, and the
// messages for values that are not valid.
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/PseudoTerminal.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 60000;

struct Run {
    QByteArray frame;  // one whole time frame
    QString errors;
    int exitCode = -1;
};

// A headless run that syncs to the terminal, in the time zone `tz`, with
// its own settings folder; ended after its second frame.
Run headless(const QString& configHome, const QStringList& extra, const QByteArray& tz = "UTC")
{
    PseudoTerminal terminal(PseudoTerminal::Slave::Closed);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("TZ"), QString::fromLatin1(tz));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(HALODIAL_BINARY), QStringList{QStringLiteral("--headless"), QStringLiteral("--port"),
                                                               QString::fromStdString(terminal.path()),
                                                               QStringLiteral("--sync")} +
                                                       extra);
    Run run;
    if (process.waitForStarted()) {
        // The first frame may be cut by the port's opening: the second whole.
        const QByteArray bytes = terminal.take(3 * 43);
        const auto start = bytes.indexOf('/', 1);
        run.frame = start > 0 ? bytes.mid(start, 43) : QByteArray();
    }
    process.terminate();
    process.waitForFinished(kDeadlineMs);
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    run.exitCode = process.exitCode();
    return run;
}

QByteArray digitsOf(const QByteArray& frame)
{
    QByteArray digits;
    for (int i = 0; i < 6 && 1 + 7 * i < frame.size(); ++i) {
        digits += frame.at(1 + 7 * i);
    }
    return digits;
}

QByteArrayList coloursOf(const QByteArray& frame)
{
    QByteArrayList colours;
    for (int i = 0; i < 6 && 8 + 7 * i <= frame.size(); ++i) {
        colours << frame.mid(2 + 7 * i, 6);
    }
    return colours;
}

// An hour before and after now, in UTC: a night that covers the run.
QString nightAroundNow()
{
    const QTime now = QDateTime::currentDateTimeUtc().time();
    return now.addSecs(-3600).toString(QStringLiteral("HH:mm")) + QLatin1Char('-') +
           now.addSecs(3600).toString(QStringLiteral("HH:mm"));
}

// A POSIX zone whose local time is `local` now (within the second).
QByteArray zoneShowing(QTime local)
{
    const int utc = QDateTime::currentDateTimeUtc().time().msecsSinceStartOfDay() / 1000;
    int offset = utc - local.msecsSinceStartOfDay() / 1000;  // local = UTC - offset
    offset = ((offset % 86400) + 86400) % 86400;
    if (offset > 43200) {
        offset -= 86400;
    }
    const int magnitude = std::abs(offset);
    return QStringLiteral("XXX%1%2:%3:%4")
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(magnitude / 3600)
        .arg(magnitude / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

}  // namespace

class DisplayRunTests : public QObject {
    Q_OBJECT

private slots:
    void aNightThatTurnsTheTubesOffSendsThemDark()
    {
        QTemporaryDir home;
        const Run run = headless(home.path(), {QStringLiteral("--night"), nightAroundNow(),
                                               QStringLiteral("--night-action"), QStringLiteral("off")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.frame.size(), 43);
        QCOMPARE(coloursOf(run.frame), QByteArrayList(6, "000000"));
    }

    // A zone in which it is 13:05:20 now.
    void twelveHoursAtFivePastOne()
    {
        QTemporaryDir home;
        const QByteArray zone = zoneShowing(QTime(13, 5, 20));
        Run run = headless(home.path(), {QStringLiteral("--twelve-hour")}, zone);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(digitsOf(run.frame).startsWith("0105"), run.frame.constData());
        run = headless(home.path(), {QStringLiteral("--hours"), QStringLiteral("12-space")}, zone);
        QVERIFY2(digitsOf(run.frame).startsWith(" 105"), run.frame.constData());
        // The default is 24 hours, as ever.
        run = headless(home.path(), {QStringLiteral("--reset-settings")}, zone);
        QVERIFY2(digitsOf(run.frame).startsWith("1305"), run.frame.constData());
    }

    // The options are kept like the window's choices: the next run without
    // them still has them, and --reset-settings forgets them.
    void displayOptionsSurviveARestart()
    {
        QTemporaryDir home;
        QCOMPARE(headless(home.path(), {QStringLiteral("--night"), nightAroundNow(), QStringLiteral("--night-action"),
                                        QStringLiteral("color:102030")})
                     .exitCode,
                 0);
        Run run = headless(home.path(), {});
        QCOMPARE(coloursOf(run.frame), QByteArrayList(6, "102030"));
        QVERIFY2(!run.errors.contains(QStringLiteral("display")), qPrintable(run.errors));
        run = headless(home.path(), {QStringLiteral("--reset-settings")});
        QCOMPARE(coloursOf(run.frame), QByteArrayList(6, "FF7A1A"));
    }

    // A countdown from the command line: the seconds left on the tubes,
    // and its end said where a window would say it.
    void aCountdownRunsHeadless()
    {
        QTemporaryDir home;
        PseudoTerminal terminal(PseudoTerminal::Slave::Closed);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(HALODIAL_BINARY),
                      {QStringLiteral("--headless"), QStringLiteral("--port"), QString::fromStdString(terminal.path()),
                       QStringLiteral("--sync"), QStringLiteral("--countdown-for"), QStringLiteral("0:02")});
        QVERIFY(process.waitForStarted());
        const QByteArray seen = terminal.take(3 * 43);
        QElapsedTimer elapsed;
        elapsed.start();
        const auto start = seen.indexOf('/', 1);
        QVERIFY(start > 0);
        QVERIFY2(QList<QByteArray>({"000002", "000001"}).contains(digitsOf(seen.mid(start, 43))), seen.constData());
        QString errors;
        while (!errors.contains(QStringLiteral("Countdown finished")) && elapsed.elapsed() < kDeadlineMs) {
            process.waitForReadyRead(1000);
            errors += QString::fromLocal8Bit(process.readAllStandardError());
        }
        QVERIFY2(errors.contains(QStringLiteral("halodial: Countdown finished")), qPrintable(errors));
        process.terminate();
        QVERIFY(process.waitForFinished(kDeadlineMs));
    }

    void badValuesInTheFileFallBackToTheDefaults()
    {
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("Halodial"))));
        QFile file(home.filePath(QStringLiteral("Halodial/halodial.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Display]\nnight=25:99-07:00\nnight-action=off\ntheme=pink\nbrightness=100,100,90,100,100,100\n");
        file.close();
        const Run run = headless(home.path(), {});
        QCOMPARE(run.exitCode, 0);
        // One line for both (beside the run's other lines: the clock's state
        // and the terminal's modem lines).
        const QStringList lines = run.errors.split(QLatin1Char('\n')).filter(QStringLiteral("display"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].contains(QStringLiteral("night=25:99-07:00")) && lines[0].contains(QStringLiteral("theme=pink")),
                 qPrintable(run.errors));
        // No night, the own colours; the good value stays (90 % of 7A is 6E).
        QCOMPARE(coloursOf(run.frame).at(0), QByteArray("FF7A1A"));
        QCOMPARE(coloursOf(run.frame).at(2), QByteArray("E66E17"));
    }

    void badOptionsEndTheRunWithAMessage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("night") << QStringList{"--night", "22:30"} << "--night";
        QTest::newRow("night action") << QStringList{"--night-action", "dim:150"} << "--night-action";
        QTest::newRow("effect") << QStringList{"--effect", "sparkle"} << "--effect";
        QTest::newRow("brightness") << QStringList{"--brightness", "100,100,5,100,100,100"} << "--brightness";
        QTest::newRow("date") << QStringList{"--date-every", "1:60"} << "--date-every";
        QTest::newRow("countdown") << QStringList{"--countdown-for", "1:75"} << "--countdown-for";
    }
    void badOptionsEndTheRunWithAMessage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        QTemporaryDir home;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(HALODIAL_BINARY), QStringList{QStringLiteral("--headless")} + arguments);
        QVERIFY(process.waitForFinished(kDeadlineMs));
        QCOMPARE(process.exitCode(), 2);
        const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(errors.startsWith(QStringLiteral("halodial: ") + named + QStringLiteral(" needs ")), qPrintable(errors));
        QVERIFY2(errors.contains(arguments.last()), qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(DisplayRunTests)
#include "DisplayRunTests.moc"
