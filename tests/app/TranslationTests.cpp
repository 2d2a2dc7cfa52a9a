// The catalogues as built: Halodial's texts come out German with the German
// one, English (with English plurals) for a language it has no catalogue
// for, and the .ts files match the code, so that a text added or changed in
// the code without its translation fails here rather than on a user's screen.
#include <cerrno>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>
#include <algorithm>
#include <memory>

#include "ports/PortProblem.h"
#include "support/PseudoTerminal.h"
#include "SerialPortDemoController.h"
#include "Translations.h"
#include "VELSerialPort.h"
#include "desktop/QtMainQueue.h"
#include "desktop/UserNotification.h"
#include "desktop/UserNotificationCenter.h"
#include "desktop/UserNotificationCenterDelegate.h"
#include "virtualclock/VirtualClock.h"
#include "virtualclock/VirtualClockWindow.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 60000;

// Keeps every notification off the screen and remembers the last one.
class NotificationCatcher : public UserNotificationCenterDelegate {
public:
    void userNotificationCenterDidDeliverNotification(UserNotificationCenter&, const UserNotification&) override {}
    bool userNotificationCenterShouldPresentNotification(UserNotificationCenter&,
                                                         const UserNotification& notification) override
    {
        caught = notification;
        return false;
    }

    UserNotification caught;
};

bool showsText(const QWidget& window, const QString& text)
{
    const auto labels = window.findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) { return label->text() == text; });
}

QString pluralFrames(int count)
{
    return QCoreApplication::translate("VirtualClockWindow", "%n time frame(s)", nullptr, count);
}

// The help of the built program, run with LANGUAGE set as a desktop sets it.
QString helpIn(const QString& language)
{
    QProcess halodial;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LANGUAGE"), language);
    halodial.setProcessEnvironment(environment);
    halodial.start(QStringLiteral(HALODIAL_BINARY), {QStringLiteral("--help")});
    if (!halodial.waitForFinished(kDeadlineMs) || halodial.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(halodial.readAllStandardOutput());
}

// The messages of `ts` that lupdate, run over the sources into a copy of
// it, leaves untranslated or finds gone from the code.
QStringList staleMessages(const QString& ts, const QStringList& options)
{
    QTemporaryDir directory;
    const QString copy = directory.filePath(QFileInfo(ts).fileName());
    if (!QFile::copy(ts, copy)) {
        return {QStringLiteral("cannot copy ") + ts};
    }
    QProcess lupdate;
    lupdate.start(QStringLiteral(HALODIAL_LUPDATE),
                  options + QStringList{QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-I"),
                                        QStringLiteral(HALODIAL_SOURCES_DIR), QStringLiteral("-extensions"),
                                        QStringLiteral("cpp,h,ui"), QStringLiteral(HALODIAL_SOURCES_DIR),
                                        QStringLiteral("-ts"), copy});
    if (!lupdate.waitForFinished(kDeadlineMs) || lupdate.exitCode() != 0) {
        return {QStringLiteral("lupdate failed: ") + QString::fromLocal8Bit(lupdate.readAllStandardError())};
    }
    QFile file(copy);
    if (!file.open(QIODevice::ReadOnly)) {
        return {QStringLiteral("lupdate left no ") + copy};
    }
    QStringList stale;
    QString context;
    QString source;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            const auto type = xml.attributes().value(QLatin1String("type"));
            if (!type.isEmpty()) {
                stale << QStringLiteral("%1 %2: \"%3\"").arg(type.toString(), context, source);
            }
        }
    }
    if (xml.hasError()) {
        stale << QStringLiteral("%1: %2").arg(ts, xml.errorString());
    }
    return stale;
}

}  // namespace

class TranslationTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vel::MainQueue::setShared(std::make_shared<QtMainQueue>()); }

    void cataloguesMatchTheCode_data()
    {
        QTest::addColumn<QString>("ts");
        QTest::addColumn<QStringList>("options");
        const QDir translations(QStringLiteral(HALODIAL_TS_DIR));
        const QStringList catalogues = translations.entryList({QStringLiteral("halodial_*.ts")}, QDir::Files);
        QVERIFY(catalogues.contains(u"halodial_de.ts"_qs) && catalogues.contains(u"halodial_en.ts"_qs));
        for (const QString& name : catalogues) {
            // The English catalogue holds the plural forms only.
            const QStringList options = name == u"halodial_en.ts"_qs ? QStringList{QStringLiteral("-pluralonly")}
                                                                       : QStringList();
            QTest::newRow(qPrintable(name)) << translations.filePath(name) << options;
        }
    }

    void cataloguesMatchTheCode()
    {
        QFETCH(QString, ts);
        QFETCH(QStringList, options);
        const QStringList stale = staleMessages(ts, options);
        QVERIFY2(stale.isEmpty(), qPrintable(stale.join(QLatin1Char('\n'))));
    }

    // First, while nothing is loaded: translators cannot be taken back one
    // by one from the outside.
    void fallsBackToEnglish()
    {
        QVERIFY(!Translations::load(QLocale(QLocale::French, QLocale::France), QStringLiteral(HALODIAL_QM_DIR)));
        QCOMPARE(pluralFrames(1), u"1 time frame"_qs);
        QCOMPARE(pluralFrames(2), u"2 time frames"_qs);
        QCOMPARE(PortProblem::describe(ENXIO, u"/dev/ttyUSB9"_qs), u"No device at /dev/ttyUSB9 (unplugged?)"_qs);
        VirtualClock clock;
        VirtualClockWindow window(clock);
        QVERIFY(showsText(window, u"0 time frames, 0 save frames"_qs));
        QVERIFY(helpIn(QStringLiteral("fr")).contains(u"Open the chosen port.\n"_qs));
        qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator*>());
    }

    void speaksGerman()
    {
        QVERIFY(Translations::load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral(HALODIAL_QM_DIR)));

        UserNotificationCenter center(QDBusConnection(QStringLiteral("no bus")));
        SerialPortDemoController controller(center, nullptr);
        NotificationCatcher catcher;
        center.setDelegate(&catcher);
        PseudoTerminal terminal;
        const auto port = VELSerialPort::serialPortWithPath(terminal.path());
        QVERIFY(port);
        const QString name = QString::fromStdString(port->name());
        controller.postUserNotificationForConnectedPorts({port});
        QCOMPARE(catcher.caught.title(), u"Serielle Schnittstelle verbunden"_qs);
        QCOMPARE(catcher.caught.informativeText(),
                 u"Die serielle Schnittstelle %1 wurde mit diesem Computer verbunden."_qs.arg(name));

        // The status line, and a problem in its plain words.
        QCOMPARE(controller.statusText(), u"Keine Schnittstelle gewählt."_qs);
        controller.setSerialPort(port);
        QCOMPARE(controller.statusText(), u"%1 ist geschlossen."_qs.arg(name));
        QCOMPARE(PortProblem::describe(ENXIO, u"/dev/ttyUSB9"_qs), u"Kein Gerät unter /dev/ttyUSB9 (ausgesteckt?)"_qs);
        controller.setSerialPort(nullptr);

        QCOMPARE(pluralFrames(1), u"1 Zeittelegramm"_qs);
        QCOMPARE(pluralFrames(2), u"2 Zeittelegramme"_qs);
        VirtualClock clock;
        VirtualClockWindow window(clock);
        QCOMPARE(window.windowTitle(), u"Virtuelle Uhr — Halodial"_qs);
        QVERIFY(showsText(window, u"0 Zeittelegramme, 0 Speichertelegramme"_qs));

        // The built program finds its catalogue beside itself.
        const QString help = helpIn(QStringLiteral("de"));
        QVERIFY2(help.contains(u"Die gewählte Schnittstelle öffnen.\n"_qs), qPrintable(help));
    }
};

QTEST_MAIN(TranslationTests)
#include "TranslationTests.moc"
