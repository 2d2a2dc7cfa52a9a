// What the user works the console with: the send history behind Up and
// Down, the hex input, and the modem-line indicators and toggles.
#include <QLineEdit>
#include <QTest>

#include "console/HexInput.h"
#include "console/LineStatusWidget.h"
#include "console/SendHistory.h"

namespace {

// A pseudo-terminal has no modem lines, so their changes cannot happen
// here: this stands in for a port behind the same observable properties.
class FakeModemPort : public vel::Observable {
public:
    bool open = true;
    std::array<bool, 3> inputs{};
    bool rts = false;
    bool dtr = false;

    void change(const char* key, const std::function<void()>& apply)
    {
        willChangeValueForKey(key);
        apply();
        didChangeValueForKey(key);
    }

    static LineStatusWidget::Lines linesOf(const std::shared_ptr<FakeModemPort>& port)
    {
        LineStatusWidget::Lines lines;
        lines.observable = port;
        FakeModemPort* p = port.get();
        lines.isOpen = [p] { return p->open; };
        lines.inputs = {[p] { return p->inputs[0]; }, [p] { return p->inputs[1]; }, [p] { return p->inputs[2]; }};
        lines.rts = [p] { return p->rts; };
        lines.dtr = [p] { return p->dtr; };
        lines.setRts = [p](bool on) { p->change("RTS", [p, on] { p->rts = on; }); };
        lines.setDtr = [p](bool on) { p->change("DTR", [p, on] { p->dtr = on; }); };
        return lines;
    }
};

QStringList statesOf(const LineStatusWidget& widget)
{
    return {widget.indicatorState(0), widget.indicatorState(1), widget.indicatorState(2)};
}

}  // namespace

class ConsoleInputTests : public QObject {
    Q_OBJECT

private slots:
    void historyKeepsOrderAndBound()
    {
        SendHistory history(nullptr, 3);
        for (const QString& line : {u"one"_qs, u"two"_qs, u"two"_qs, u""_qs, u"three"_qs, u"four"_qs}) {
            history.add(line);
        }
        // The oldest went; a repeat and the empty line were not kept twice.
        QCOMPARE(history.lines(), (QStringList{u"two"_qs, u"three"_qs, u"four"_qs}));

        QLineEdit field;
        history.attach(&field);
        field.setText(u"draft"_qs);
        const auto press = [&](Qt::Key key) {
            QTest::keyClick(&field, key);
            return field.text();
        };
        QCOMPARE(press(Qt::Key_Up), u"four"_qs);
        QCOMPARE(press(Qt::Key_Up), u"three"_qs);
        QCOMPARE(press(Qt::Key_Up), u"two"_qs);
        QCOMPARE(press(Qt::Key_Up), u"two"_qs);  // nothing older
        QCOMPARE(press(Qt::Key_Down), u"three"_qs);
        QCOMPARE(press(Qt::Key_Down), u"four"_qs);
        QCOMPARE(press(Qt::Key_Down), u"draft"_qs);  // back to what was typed
        QCOMPARE(press(Qt::Key_Down), u"draft"_qs);
        // Sending ends the walk: Up starts from the newest again.
        QCOMPARE(press(Qt::Key_Up), u"four"_qs);
        history.add(u"five"_qs);
        QCOMPARE(press(Qt::Key_Up), u"five"_qs);
    }

    void hexInputReadsBytesAndNamesTheBadOne_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("errorStart");  // -1: well formed
        QTest::newRow("spaced") << u"41 42 0D"_qs << QByteArray("AB\r") << qsizetype(-1);
        QTest::newRow("run together, lower case, commas") << u" 41420d,ff "_qs << QByteArray("AB\r\xFF") << qsizetype(-1);
        QTest::newRow("empty") << u"  "_qs << QByteArray() << qsizetype(-1);
        QTest::newRow("not a digit") << u"41 4G"_qs << QByteArray() << qsizetype(3);
        QTest::newRow("half a byte") << u"41 4"_qs << QByteArray() << qsizetype(3);
        QTest::newRow("odd run") << u"414"_qs << QByteArray() << qsizetype(2);
        QTest::newRow("prefix") << u"0x41"_qs << QByteArray() << qsizetype(0);
    }

    void hexInputReadsBytesAndNamesTheBadOne()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, errorStart);
        const HexInput::Result result = HexInput::parse(input);
        QCOMPARE(result.bytes, bytes);
        QCOMPARE(result.errorStart, errorStart);
        QCOMPARE(result.isValid(), errorStart < 0);
        if (errorStart >= 0) {
            // The message quotes the malformed byte and where it stands.
            QVERIFY2(result.error.contains(u'"' + input.mid(errorStart, result.errorLength) + u'"'),
                     qPrintable(result.error));
            QVERIFY2(result.error.contains(QString::number(errorStart + 1)), qPrintable(result.error));
        }
    }

    void lineStatusFollowsTheModemLines()
    {
        LineStatusWidget widget;
        const QStringList unavailable(3, u"unavailable"_qs);
        QCOMPARE(statesOf(widget), unavailable);
        QVERIFY(!widget.rtsToggle()->isEnabled());

        auto port = std::make_shared<FakeModemPort>();
        port->inputs = {true, false, false};
        widget.setLines(FakeModemPort::linesOf(port));
        QCOMPARE(statesOf(widget), (QStringList{u"on"_qs, u"off"_qs, u"off"_qs}));
        port->change("DCD", [&] { port->inputs[2] = true; });
        port->change("CTS", [&] { port->inputs[0] = false; });
        QTRY_COMPARE(statesOf(widget), (QStringList{u"off"_qs, u"off"_qs, u"on"_qs}));

        // The toggles drive the output lines and show them.
        QVERIFY(widget.dtrToggle()->isEnabled());
        widget.dtrToggle()->click();
        QVERIFY(port->dtr);
        QVERIFY(!port->rts);
        port->change("RTS", [&] { port->rts = true; });
        QTRY_VERIFY(widget.rtsToggle()->isChecked());

        // Closing makes them unavailable, so does a device without lines.
        port->change("isOpen", [&] { port->open = false; });
        QTRY_COMPARE(statesOf(widget), unavailable);
        QVERIFY(!widget.dtrToggle()->isEnabled());
        port->change("isOpen", [&] { port->open = true; });
        QTRY_COMPARE(statesOf(widget).at(2), u"on"_qs);
        widget.setModemLinesAvailable(false);
        QCOMPARE(statesOf(widget), unavailable);
        widget.setLines({});
        QCOMPARE(statesOf(widget), unavailable);
        QCOMPARE(port.use_count(), 1);  // let go
    }
};

QTEST_MAIN(ConsoleInputTests)
#include "ConsoleInputTests.moc"
