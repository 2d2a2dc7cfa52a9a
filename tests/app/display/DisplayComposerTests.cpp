// What the tubes show, from the composer alone: injected instants at the
// edges of the 12-hour clock, the night, a daylight-saving change, the
// countdown, the date, the cathode cycle, and the order of the colour steps.
#include <QTest>
#include <QTimeZone>
#include <ctime>

#include "clock/HalodialColor.h"
#include "display/DisplayComposer.h"
#include "display/DisplayText.h"

namespace {

using Colours = std::array<QColor, DisplaySettings::tubeCount>;

const Colours own{QColor(0xFF0000), QColor(0x00FF00), QColor(0x0000FF),
                  QColor(0xFFFFFF), QColor(0x8040BF), QColor(0xFF7A1A)};

QDateTime on(QTime time, QDate date = QDate(2026, 12, 8))
{
    return QDateTime(date, time);
}

DisplayComposer::Shown at(const QDateTime& local, const DisplaySettings& settings, const DisplayState& state = {})
{
    return DisplayComposer::compose(local.toMSecsSinceEpoch(), local, settings, state, own,
                                    DisplaySettings::DateOrder::DayMonthYear);
}

QString hex(const Colours& colours)
{
    QStringList parts;
    for (const QColor& colour : colours) {
        parts << HalodialColor::hexString(colour);
    }
    return parts.join(QLatin1Char(' '));
}

const QString dark = QStringLiteral("000000 000000 000000 000000 000000 000000");
const QString lit = hex(own);

DisplaySettings nightOff(const QString& window)
{
    DisplaySettings settings;
    DisplayText::apply(QStringLiteral("night"), window, settings);
    DisplayText::apply(QStringLiteral("night-action"), QStringLiteral("off"), settings);
    return settings;
}

}  // namespace

class DisplayComposerTests : public QObject {
    Q_OBJECT

private slots:
    // The defaults are the plain clock: the time in 24 hours and the very
    // colours given, so that the frames stay as they were to the bit.
    void theDefaultsShowThePlainClock()
    {
        const auto shown = at(on(QTime(23, 59, 59, 800)), {});
        QCOMPARE(shown.digits, QStringLiteral("235959"));
        QVERIFY(shown.colours == own);
        QVERIFY(!shown.moving);
    }

    void twelveHours_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("withZero");
        QTest::addColumn<QString>("withSpace");
        QTest::newRow("midnight") << QTime(0, 0, 0) << "120000" << "120000";
        QTest::newRow("end of the first hour") << QTime(0, 59, 59) << "125959" << "125959";
        QTest::newRow("noon") << QTime(12, 0, 0) << "120000" << "120000";
        QTest::newRow("end of noon's hour") << QTime(12, 59, 59) << "125959" << "125959";
        QTest::newRow("one o'clock") << QTime(13, 0, 0) << "010000" << " 10000";
        QTest::newRow("before midnight") << QTime(23, 59, 59) << "115959" << "115959";
    }
    void twelveHours()
    {
        QFETCH(QTime, time);
        QFETCH(QString, withZero);
        QFETCH(QString, withSpace);
        DisplaySettings settings;
        QVERIFY(DisplayText::apply(QStringLiteral("hours"), QStringLiteral("12"), settings));
        QCOMPARE(at(on(time), settings).digits, withZero);
        QVERIFY(DisplayText::apply(QStringLiteral("hours"), QStringLiteral("12-space"), settings));
        QCOMPARE(at(on(time), settings).digits, withSpace);
    }

    void nightAcrossMidnight_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("night");
        QTest::newRow("a second before") << QTime(22, 29, 59, 999) << false;
        QTest::newRow("from") << QTime(22, 30, 0) << true;
        QTest::newRow("midnight") << QTime(0, 0, 0) << true;
        QTest::newRow("a moment before the end") << QTime(7, 14, 59, 999) << true;
        QTest::newRow("to") << QTime(7, 15, 0) << false;
        QTest::newRow("noon") << QTime(12, 0, 0) << false;
    }
    void nightAcrossMidnight()
    {
        QFETCH(QTime, time);
        QFETCH(bool, night);
        const auto shown = at(on(time), nightOff(QStringLiteral("22:30-07:15")));
        QCOMPARE(hex(shown.colours), night ? dark : lit);
        // The digits stay the time's.
        QCOMPARE(shown.digits, time.toString(QStringLiteral("HHmmss")));
    }

    void aNightWithinOneDayEndsTheSameDay()
    {
        const DisplaySettings settings = nightOff(QStringLiteral("01:00-05:00"));
        QCOMPARE(hex(at(on(QTime(0, 30)), settings).colours), lit);
        QCOMPARE(hex(at(on(QTime(3, 0)), settings).colours), dark);
        QCOMPARE(hex(at(on(QTime(23, 0)), settings).colours), lit);
    }

    // Fading: half-way through the fade the dimming is half done, at both
    // edges, and full before and after.
    void theNightFadesInAndOut()
    {
        DisplaySettings settings;
        QVERIFY(DisplayText::apply(QStringLiteral("night"), QStringLiteral("22:30-07:15"), settings));
        QVERIFY(DisplayText::apply(QStringLiteral("night-action"), QStringLiteral("dim:20"), settings));
        QVERIFY(DisplayText::apply(QStringLiteral("night-fade"), QStringLiteral("60"), settings));
        QCOMPARE(DisplayComposer::nightLevel(settings, QTime(22, 29, 59).msecsSinceStartOfDay()), 0.0);
        QCOMPARE(DisplayComposer::nightLevel(settings, QTime(22, 30, 30).msecsSinceStartOfDay()), 0.5);
        QCOMPARE(DisplayComposer::nightLevel(settings, QTime(22, 31, 0).msecsSinceStartOfDay()), 1.0);
        QCOMPARE(DisplayComposer::nightLevel(settings, QTime(7, 15, 30).msecsSinceStartOfDay()), 0.5);
        QCOMPARE(DisplayComposer::nightLevel(settings, QTime(7, 16, 0).msecsSinceStartOfDay()), 0.0);
        // Red at 60 % (half-way from 100 % to 20 %): 153 = 99.
        QCOMPARE(HalodialColor::hexString(at(on(QTime(22, 30, 30)), settings).colours[0]), QStringLiteral("990000"));
    }

    // The local time the process's zone gives, across both of Berlin's
    // changes in 2026: the tubes follow the wall clock, and so does the
    // night.
    void daylightSavingChanges()
    {
        const QByteArray previous = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        const auto local = [](qint64 utcSeconds) { return QDateTime::fromSecsSinceEpoch(utcSeconds); };
        // 29 March, 01:00 UTC: 02:00 CET becomes 03:00 CEST.
        const qint64 spring = QDateTime(QDate(2026, 3, 29), QTime(1, 0), QTimeZone(QByteArrayLiteral("UTC"))).toSecsSinceEpoch();
        DisplaySettings settings = nightOff(QStringLiteral("02:30-03:30"));
        QCOMPARE(at(local(spring - 1), settings).digits, QStringLiteral("015959"));
        QCOMPARE(hex(at(local(spring - 1), settings).colours), lit);
        QCOMPARE(at(local(spring), settings).digits, QStringLiteral("030000"));
        QCOMPARE(hex(at(local(spring), settings).colours), dark);
        // 25 October, 01:00 UTC: 03:00 CEST becomes 02:00 CET; the hour
        // from 02:00 comes twice, and is night both times.
        const qint64 autumn = QDateTime(QDate(2026, 10, 25), QTime(1, 0), QTimeZone(QByteArrayLiteral("UTC"))).toSecsSinceEpoch();
        settings = nightOff(QStringLiteral("02:00-03:00"));
        QCOMPARE(at(local(autumn - 1), settings).digits, QStringLiteral("025959"));
        QCOMPARE(at(local(autumn), settings).digits, QStringLiteral("020000"));
        QCOMPARE(hex(at(local(autumn), settings).colours), dark);
        QCOMPARE(hex(at(local(autumn + 3600), settings).colours), lit);
        if (previous.isNull()) {
            qunsetenv("TZ");
        } else {
            qputenv("TZ", previous);
        }
        ::tzset();
    }

    // Whole seconds left, rounded up; zero at the end, three flashes (lit in
    // the first half of each second), then the time again.
    void aCountdownCrossesZero()
    {
        const QDateTime end = on(QTime(10, 0, 0));
        const DisplayState state{{}, {}, end.toMSecsSinceEpoch()};
        QCOMPARE(at(end.addSecs(-3723), {}, state).digits, QStringLiteral("010203"));
        QCOMPARE(at(end.addMSecs(-1001), {}, state).digits, QStringLiteral("000002"));
        QCOMPARE(at(end.addMSecs(-1000), {}, state).digits, QStringLiteral("000001"));
        QCOMPARE(at(end.addMSecs(-1), {}, state).digits, QStringLiteral("000001"));
        QCOMPARE(at(end, {}, state).digits, QStringLiteral("000000"));
        QCOMPARE(hex(at(end, {}, state).colours), lit);
        QCOMPARE(hex(at(end.addMSecs(600), {}, state).colours), dark);
        QCOMPARE(hex(at(end.addMSecs(2400), {}, state).colours), lit);
        QCOMPARE(hex(at(end.addMSecs(2999), {}, state).colours), dark);
        QCOMPARE(at(end.addMSecs(3000), {}, state).digits, QStringLiteral("100003"));
        QCOMPARE(hex(at(end.addMSecs(3000), {}, state).colours), lit);
    }

    void theDateInItsMinutesForItsSeconds()
    {
        DisplaySettings settings;
        QVERIFY(DisplayText::apply(QStringLiteral("date-every"), QStringLiteral("5:7"), settings));
        QVERIFY(DisplayText::apply(QStringLiteral("date-color"), QStringLiteral("00FFFF"), settings));
        const QDate date(2026, 3, 4);
        QCOMPARE(at(on(QTime(10, 5, 0), date), settings).digits, QStringLiteral("040326"));
        QCOMPARE(HalodialColor::hexString(at(on(QTime(10, 5, 0), date), settings).colours[0]),
                 QStringLiteral("00FFFF"));
        QCOMPARE(at(on(QTime(10, 5, 6, 999), date), settings).digits, QStringLiteral("040326"));
        QCOMPARE(at(on(QTime(10, 5, 7), date), settings).digits, QStringLiteral("100507"));
        QCOMPARE(hex(at(on(QTime(10, 5, 7), date), settings).colours), lit);
        QCOMPARE(at(on(QTime(10, 6, 0), date), settings).digits, QStringLiteral("100600"));
        QCOMPARE(at(on(QTime(0, 0, 3), date), settings).digits, QStringLiteral("040326"));
        QVERIFY(DisplayText::apply(QStringLiteral("date-order"), QStringLiteral("MMDDYY"), settings));
        QCOMPARE(at(on(QTime(10, 5, 0), date), settings).digits, QStringLiteral("030426"));
        QVERIFY(DisplayText::apply(QStringLiteral("date-order"), QStringLiteral("YYMMDD"), settings));
        QCOMPARE(at(on(QTime(10, 5, 0), date), settings).digits, QStringLiteral("260304"));
    }

    void theLocalesDateOrder()
    {
        QCOMPARE(DisplaySettings::dateOrderOf(QLocale(QStringLiteral("en_US"))), DisplaySettings::DateOrder::MonthDayYear);
        QCOMPARE(DisplaySettings::dateOrderOf(QLocale(QStringLiteral("de_DE"))), DisplaySettings::DateOrder::DayMonthYear);
        QCOMPARE(DisplaySettings::dateOrderOf(QLocale(QStringLiteral("ja_JP"))), DisplaySettings::DateOrder::YearMonthDay);
    }

    // The per-tube brightness comes last: on top of the dimmed night, and
    // on the night colour rather than under it.
    void brightnessAfterTheNight()
    {
        DisplaySettings settings;
        QVERIFY(DisplayText::apply(QStringLiteral("night"), QStringLiteral("22:00-06:00"), settings));
        QVERIFY(DisplayText::apply(QStringLiteral("night-action"), QStringLiteral("dim:50"), settings));
        QVERIFY(DisplayText::apply(QStringLiteral("brightness"), QStringLiteral("50,100,100,100,100,100"), settings));
        // 255 x 0.5 x 0.5 = 63.75: 64.
        QCOMPARE(HalodialColor::hexString(at(on(QTime(23, 0)), settings).colours[0]), QStringLiteral("400000"));
        QCOMPARE(HalodialColor::hexString(at(on(QTime(12, 0)), settings).colours[0]), QStringLiteral("800000"));
        QVERIFY(DisplayText::apply(QStringLiteral("night-action"), QStringLiteral("color:0000FF"), settings));
        QCOMPARE(HalodialColor::hexString(at(on(QTime(23, 0)), settings).colours[0]), QStringLiteral("000080"));
        QCOMPARE(HalodialColor::hexString(at(on(QTime(23, 0)), settings).colours[1]), QStringLiteral("0000FF"));
    }

    // The effects at instants where their phase is known: the rainbow's
    // spectrum laid across the tubes at a whole turn, breathing at full and
    // at its lowest, the pulse at a new second and at its end.
    void effectsAtFixedInstants()
    {
        DisplaySettings settings;
        QVERIFY(DisplayText::apply(QStringLiteral("effect"), QStringLiteral("rainbow:5"), settings));
        // 4000 s x speed 5 x 0.05 = 1000 whole turns.
        const QDateTime turn = QDateTime::fromMSecsSinceEpoch(4'000'000);
        const auto rainbow = at(turn, settings);
        QVERIFY(rainbow.moving);
        // Tube 5's own colour (8040BF) has a value of 75 %.
        QCOMPARE(hex(rainbow.colours), QStringLiteral("FF0000 FFFF00 00FF00 00FFFF 0000BF FF00FF"));
        QVERIFY(at(turn.addMSecs(400), settings).colours != rainbow.colours);

        QVERIFY(DisplayText::apply(QStringLiteral("effect"), QStringLiteral("breathing:5"), settings));
        QCOMPARE(hex(at(turn, settings).colours), lit);
        // Half a turn (2 s at speed 5): 15 %, 255 x 0.15 = 38.25.
        QCOMPARE(HalodialColor::hexString(at(turn.addMSecs(2000), settings).colours[0]), QStringLiteral("260000"));

        QVERIFY(DisplayText::apply(QStringLiteral("effect"), QStringLiteral("pulse:10"), settings));
        QCOMPARE(hex(at(turn, settings).colours), lit);
        const QColor early = at(turn.addMSecs(100), settings).colours[0];
        QVERIFY(early.redF() < 1.0 && early.redF() > at(turn.addMSecs(200), settings).colours[0].redF());
        QCOMPARE(HalodialColor::hexString(at(turn.addMSecs(900), settings).colours[0]), QStringLiteral("400000"));
    }

    void themesReplaceTheOwnColours()
    {
        DisplaySettings settings;
        QVERIFY(DisplayText::apply(QStringLiteral("theme"), QStringLiteral("Ice blue"), settings));
        const auto shown = at(on(QTime(12, 0)), settings);
        QCOMPARE(HalodialColor::hexString(shown.colours[0]), HalodialColor::hexString(shown.colours[5]));
        QVERIFY(HalodialColor::hexString(shown.colours[0]) != HalodialColor::hexString(own[0]));
    }

    // The slot machine: ten digits a second, each tube one on from its
    // left neighbour, for its seconds only, and not while the night is dark.
    void theCathodeCycle()
    {
        DisplaySettings settings;
        QVERIFY(DisplayText::apply(QStringLiteral("anti-poisoning"), QStringLiteral("03:00,180"), settings));
        QCOMPARE(at(on(QTime(2, 59, 59)), settings).digits, QStringLiteral("025959"));
        QCOMPARE(at(on(QTime(3, 0, 0)), settings).digits, QStringLiteral("012345"));
        QVERIFY(at(on(QTime(3, 0, 0)), settings).moving);
        QCOMPARE(at(on(QTime(3, 0, 0, 100)), settings).digits, QStringLiteral("123456"));
        QCOMPARE(at(on(QTime(3, 2, 59, 900)), settings).digits, QStringLiteral("901234"));
        QCOMPARE(at(on(QTime(3, 3, 0)), settings).digits, QStringLiteral("030300"));
        QVERIFY(DisplayText::apply(QStringLiteral("anti-poisoning"), QStringLiteral("every:6,10"), settings));
        QCOMPARE(at(on(QTime(18, 0, 9)), settings).digits.size(), 6);
        QVERIFY(at(on(QTime(18, 0, 9)), settings).digits != QStringLiteral("180009"));
        QCOMPARE(at(on(QTime(19, 0, 5)), settings).digits, QStringLiteral("190005"));
        QVERIFY(DisplayText::apply(QStringLiteral("night"), QStringLiteral("17:00-20:00"), settings));
        QVERIFY(DisplayText::apply(QStringLiteral("night-action"), QStringLiteral("off"), settings));
        QCOMPARE(at(on(QTime(18, 0, 5)), settings).digits, QStringLiteral("180005"));
    }

    void digitsGivenFromOutside()
    {
        const QDateTime now = on(QTime(8, 0));
        const DisplayState state{QStringLiteral("42"), now.toMSecsSinceEpoch() + 5000, {}};
        QCOMPARE(at(now, {}, state).digits, QStringLiteral("42    "));
        QCOMPARE(at(now.addMSecs(5000), {}, state).digits, QStringLiteral("080005"));
        const DisplayState untilCleared{QStringLiteral("123456"), {}, {}};
        QCOMPARE(at(now.addDays(3), {}, untilCleared).digits, QStringLiteral("123456"));
    }

    // Every key's text form reads back as it was written, and a malformed
    // value leaves the settings as they were.
    void textForms()
    {
        DisplaySettings settings;
        const QList<QPair<QString, QString>> values{
            {"hours", "12-space"},   {"date-every", "10:5"},  {"date-order", "YYMMDD"},
            {"date-color", "12AB34"}, {"night", "22:30-07:15"}, {"night-action", "color:400800"},
            {"night-fade", "90"},    {"theme", "mint"},        {"effect", "hue-wave:7"},
            {"brightness", "100,100,90,100,100,100"},          {"anti-poisoning", "every:4,60"}};
        for (const auto& [key, value] : values) {
            QVERIFY2(DisplayText::apply(key, value, settings), qPrintable(key));
        }
        QCOMPARE(DisplayText::all(settings), values);
        const DisplaySettings before = settings;
        for (const auto& [key, value] : QList<QPair<QString, QString>>{{"hours", "13"},
                                                                      {"date-every", "0:5"},
                                                                      {"night", "24:00-07:00"},
                                                                      {"night", "07:00-07:00"},
                                                                      {"night-action", "dim:0"},
                                                                      {"theme", "pink"},
                                                                      {"effect", "rainbow:11"},
                                                                      {"brightness", "100,9,100,100,100,100"},
                                                                      {"brightness", "100,100"},
                                                                      {"anti-poisoning", "every:25"},
                                                                      {"night-fade", "-1"}}) {
            QVERIFY2(!DisplayText::apply(key, value, settings), qPrintable(key + QLatin1Char('=') + value));
        }
        QVERIFY(settings == before);
    }
};

QTEST_GUILESS_MAIN(DisplayComposerTests)
#include "DisplayComposerTests.moc"
