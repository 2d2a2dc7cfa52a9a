// The window on a small screen: at 800×600, and at 200 % on 1600×1000 (800×500
// of Qt's logical pixels), in English and in German, every control shows
// whole inside the window, and the keyboard's mnemonics do not clash.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QTranslator>

#include "MainWindow.h"
#include "SerialPortDemoController.h"
#include "Translations.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "display/DisplayDialog.h"
#include "ui_MainWindow.h"

namespace {

// The mnemonic of a text ("Lo&g…" has g), or none.
QChar mnemonicOf(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'&') {
            if (text[i + 1] != u'&') {
                return text[i + 1].toLower();
            }
            ++i;
        }
    }
    return {};
}

}  // namespace

class WindowFitTests : public QObject {
    Q_OBJECT

    VELSerialPortManager* manager_ = nullptr;

    // 800×600 device pixels, or 1600×1000 at a scale of 2: in Qt's logical
    // pixels what the window may take, less a window manager's title bar.
    static QSize screenSize(const QWidget& window)
    {
        constexpr int titleBar = 32;
        return (window.devicePixelRatio() > 1.5 ? QSize(800, 500) : QSize(800, 600)) - QSize(0, titleBar);
    }

    void checkFits()
    {
        SerialPortDemoController controller(manager_);
        MainWindow window;
        window.connectController(controller, *manager_);
        // The longest states the window shows: syncing, logging, a long
        // status line.
        window.ui().senddate->click();
        QVERIFY(window.ui().senddate->isChecked());
        const QSize size = screenSize(window);
        window.resize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), size);
        const QRect inside = window.rect();
        int checked = 0;
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            if (!widget->isVisible() || widget->window() != &window) {
                continue;
            }
            const QRect where(widget->mapTo(&window, QPoint(0, 0)), widget->size());
            QVERIFY2(inside.contains(where), qPrintable(QStringLiteral("%1 (%2) at %3,%4 %5×%6 is outside %7×%8")
                                                            .arg(widget->objectName(), widget->metaObject()->className())
                                                            .arg(where.x()).arg(where.y()).arg(where.width())
                                                            .arg(where.height()).arg(size.width()).arg(size.height())));
            // Squeezed below what it needs, a control cuts its text.
            if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget)) {
                QVERIFY2(widget->width() >= widget->minimumSizeHint().width(), qPrintable(widget->objectName()));
                ++checked;
            }
        }
        QVERIFY(checked > 20);
        // The dialogs the window opens fit the same screen.
        window.showDisplayDialog();
        QDialog* display = window.displayDialog();
        QVERIFY(display);
        QVERIFY(QTest::qWaitForWindowExposed(display));
        QVERIFY2(display->width() <= size.width() && display->height() <= size.height(),
                 qPrintable(QStringLiteral("Display %1×%2 on a screen of %3×%4")
                               .arg(display->width()).arg(display->height())
                               .arg(display->screen()->availableGeometry().width())
                               .arg(display->screen()->availableGeometry().height())));
        display->close();
        // The buttons a user presses first are among them.
        for (QWidget* control : {static_cast<QWidget*>(window.ui().openCloseButton), static_cast<QWidget*>(window.ui().send1),
                                 static_cast<QWidget*>(window.ui().tube6), static_cast<QWidget*>(window.ui().lineStatusWidget->dtrToggle())}) {
            QVERIFY2(control->isVisible(), qPrintable(control->objectName()));
        }
        controller.stop();
    }

    void checkMnemonics()
    {
        SerialPortDemoController controller(manager_);
        MainWindow window;
        window.connectController(controller, *manager_);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Alt plus a letter reaches one thing in the window: a control, or
        // a menu of the menu bar.
        QHash<QChar, QString> taken;
        const auto take = [&taken](const QString& text) {
            const QChar key = mnemonicOf(text);
            if (key.isNull()) {
                return;
            }
            QVERIFY2(!taken.contains(key), qPrintable(QStringLiteral("%1 and %2").arg(taken.value(key), text)));
            taken.insert(key, text);
        };
        for (QAction* menu : window.menuBar()->actions()) {
            take(menu->text());
        }
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            if (!widget->isVisible()) {
                continue;
            }
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                take(button->text());
            } else if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy()) {
                take(label->text());
            } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                take(group->title());
            }
        }
        QVERIFY(taken.size() >= 12);
        // Within each menu, each item's letter is its own.
        for (QMenu* menu : window.menuBar()->findChildren<QMenu*>()) {
            QHash<QChar, QString> items;
            for (QAction* item : menu->actions()) {
                const QChar key = mnemonicOf(item->text());
                QVERIFY2(key.isNull() || !items.contains(key), qPrintable(item->text()));
                items.insert(key, item->text());
            }
        }
    }

private slots:
    void initTestCase()
    {
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
    }

    void fitsInEnglish() { checkFits(); }
    void mnemonicsAreUniqueInEnglish() { checkMnemonics(); }

    // Last: a catalogue once loaded stays.
    void fitsInGerman()
    {
        QVERIFY(Translations::load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral(HALODIAL_QM_DIR)));
        QCOMPARE(QCoreApplication::translate("MainWindow", "Sync the time"), u"Die Uhrzeit synchronisieren"_qs);
        checkFits();
        checkMnemonics();
    }
};

QTEST_MAIN(WindowFitTests)
#include "WindowFitTests.moc"
