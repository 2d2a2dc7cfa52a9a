// The application id and icon that the installed desktop files and the
// running program must agree on: a mismatch leaves the window without its
// menu entry on Wayland and the notifications without their icon.
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTest>
#include <memory>

#include "Application.h"
#include "MainWindow.h"
#include "VELSerialPortManager.h"
#include "desktop/DesktopIdentity.h"
#include "desktop/QtMainQueue.h"
#include "virtualclock/VirtualClock.h"
#include "virtualclock/VirtualClockWindow.h"

namespace {

QString dataFile(const QString& name)
{
    return QStringLiteral(HALODIAL_DATA_DIR "/") + name;
}

QString contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The image a window shows for its icon at `size`, for comparing icons by
// what they look like rather than by which QIcon object they are.
QImage imageOf(const QIcon& icon, int size)
{
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class DesktopIdentityTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { DesktopIdentity::applyToApplication(); }

    void desktopFilesCarryTheIdTheApplicationAnnounces()
    {
        const QString id = QGuiApplication::desktopFileName();
        QCOMPARE(id, u"org.halodial.Halodial"_qs);

        const QString entry = contentsOf(dataFile(id + u".desktop"_qs));
        QVERIFY2(!entry.isEmpty(), "no desktop entry named after the application id");
        QVERIFY(entry.contains(QRegularExpression(u"^Icon="_qs + QRegularExpression::escape(id) + u"$"_qs,
                                                  QRegularExpression::MultilineOption)));
        QVERIFY(entry.contains(QRegularExpression(u"^Exec=halodial$"_qs, QRegularExpression::MultilineOption)));

        const QString metainfo = contentsOf(dataFile(id + u".metainfo.xml.in"_qs));
        QVERIFY(metainfo.contains(u"<id>"_qs + id + u"</id>"_qs));
        QVERIFY(metainfo.contains(u"<launchable type=\"desktop-id\">"_qs + id + u".desktop</launchable>"_qs));
        QVERIFY(QFile::exists(dataFile(u"icons/"_qs + id + u".svg"_qs)));
    }

    void everyWindowShowsTheIcon()
    {
        const QIcon icon = DesktopIdentity::icon();
        for (const int size : {48, 128, 256}) {
            const QImage image = imageOf(icon, size);
            QCOMPARE(image.size(), QSize(size, size));
            // Something is drawn: a transparent square would pass a size check.
            QVERIFY(image.pixelColor(size / 2, size / 2).alpha() > 0);
        }
        QCOMPARE(imageOf(QGuiApplication::windowIcon(), 48), imageOf(icon, 48));

        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        Application application(VELSerialPortManager::sharedSerialPortManager());
        ApplicationOptions options;
        options.simulate = true;
        QVERIFY(!application.start(options));
        QCOMPARE(imageOf(application.window().windowIcon(), 48), imageOf(icon, 48));
        QVERIFY(application.virtualClockWindow());
        QCOMPARE(imageOf(application.virtualClockWindow()->windowIcon(), 128), imageOf(icon, 128));
    }
};

QTEST_MAIN(DesktopIdentityTests)
#include "DesktopIdentityTests.moc"
