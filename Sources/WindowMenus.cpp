#include "WindowMenus.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "SerialPortDemoController.h"
#include "console/ConsoleSearchBar.h"
#include "ui_MainWindow.h"

namespace {

// A checkable item that stands for a switch of the window: either one
// follows the other.
QAction* addSwitch(QMenu& menu, const QString& text, QAbstractButton* button)
{
    QAction* action = menu.addAction(text);
    action->setCheckable(true);
    action->setChecked(button->isChecked());
    QObject::connect(action, &QAction::toggled, button, &QAbstractButton::setChecked);
    QObject::connect(button, &QAbstractButton::toggled, action, &QAction::setChecked);
    return action;
}

// An item that does what a button does, and is enabled when it is.
QAction* addButton(QMenu& menu, const QString& text, QAbstractButton* button, const QKeySequence& shortcut)
{
    QAction* action = menu.addAction(text);
    action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, button, &QAbstractButton::click);
    return action;
}

}  // namespace

WindowMenus::WindowMenus(QMainWindow& window, Ui::MainWindow& ui, SerialPortDemoController& controller)
    : QObject(&window), ui_(ui)
{
    QMenuBar& bar = *window.menuBar();
    buildFileMenu(bar);
    buildPortMenu(bar, controller);
    buildClockMenu(bar, controller);
    buildViewMenu(bar);
    buildHelpMenu(bar, controller);
}

void WindowMenus::buildFileMenu(QMenuBar& bar)
{
    QMenu* menu = bar.addMenu(tr("&File"));
    menu->setObjectName(QStringLiteral("fileMenu"));
    log_ = menu->addAction(tr("&Log the console…"));
    log_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    mqtt_ = menu->addAction(tr("&MQTT broker…"));
    mqtt_->setObjectName(QStringLiteral("mqttAction"));
    menu->addSeparator();
    QAction* quit = menu->addAction(tr("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    // Queued: the window may be inside one of its own handlers.
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void WindowMenus::buildPortMenu(QMenuBar& bar, SerialPortDemoController& controller)
{
    QMenu* menu = bar.addMenu(tr("&Port"));
    menu->setObjectName(QStringLiteral("portMenu"));
    QAction* openClose = addButton(*menu, tr("&Open"), ui_.openCloseButton, QKeySequence(Qt::CTRL | Qt::Key_O));
    openClose->setObjectName(QStringLiteral("openCloseAction"));
    const auto follow = [this, openClose](PortStatus::State state) {
        const bool closes = state == PortStatus::State::Open || state == PortStatus::State::Waiting;
        openClose->setText(closes ? tr("&Close") : tr("&Open"));
        openClose->setEnabled(ui_.openCloseButton->isEnabled());
    };
    // After the window's own handler, which enables the button.
    connect(&controller, &SerialPortDemoController::portStateChanged, openClose, follow, Qt::QueuedConnection);
    follow(controller.portState());
    lineSettings_ = menu->addAction(tr("Li&ne settings…"));
}

void WindowMenus::buildClockMenu(QMenuBar& bar, SerialPortDemoController& controller)
{
    QMenu* menu = bar.addMenu(tr("&Clock"));
    menu->setObjectName(QStringLiteral("clockMenu"));
    QAction* sync = addSwitch(*menu, tr("&Sync"), ui_.senddate);
    sync->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    // The switch's toggled only mirrors; the sync itself starts and stops
    // on a user's press of either.
    connect(sync, &QAction::triggered, ui_.senddate, [this, &controller](bool on) {
        if (on) {
            controller.senddate();
        } else {
            controller.stop();
        }
    });
    QAction* save = addButton(*menu, tr("Sa&ve the digits in the clock"), ui_.saveButton,
                              QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(&controller, &SerialPortDemoController::portStateChanged, save, [this, save] {
        save->setEnabled(ui_.saveButton->isEnabled());
    }, Qt::QueuedConnection);
    save->setEnabled(ui_.saveButton->isEnabled());
    menu->addSeparator();
    addButton(*menu, tr("&Display…"), ui_.displayButton, QKeySequence(Qt::CTRL | Qt::Key_D));
}

void WindowMenus::buildViewMenu(QMenuBar& bar)
{
    QMenu* menu = bar.addMenu(tr("&View"));
    menu->setObjectName(QStringLiteral("viewMenu"));
    addSwitch(*menu, tr("He&x view"), ui_.hexViewCheckBox);
    addSwitch(*menu, tr("&Timestamps"), ui_.timestampsCheckBox);
    addSwitch(*menu, tr("Local &echo"), ui_.localEchoCheckBox);
    addSwitch(*menu, tr("Send &as hex"), ui_.sendHexCheckBox);
    menu->addSeparator();
    QAction* find = menu->addAction(tr("&Find…"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, ui_.consoleSearchBar, &ConsoleSearchBar::activate);
    QAction* next = menu->addAction(tr("Find &next"));
    next->setShortcuts(QKeySequence::FindNext);
    connect(next, &QAction::triggered, ui_.consoleSearchBar, &ConsoleSearchBar::findNext);
    QAction* previous = menu->addAction(tr("Find &previous"));
    previous->setShortcuts(QKeySequence::FindPrevious);
    connect(previous, &QAction::triggered, ui_.consoleSearchBar, &ConsoleSearchBar::findPrevious);
    menu->addSeparator();
    addButton(*menu, tr("C&lear the output"), ui_.clearButton, QKeySequence(Qt::CTRL | Qt::Key_L));
}

void WindowMenus::buildHelpMenu(QMenuBar& bar, SerialPortDemoController& controller)
{
    QMenu* menu = bar.addMenu(tr("&Help"));
    menu->setObjectName(QStringLiteral("helpMenu"));
    QAction* help = menu->addAction(tr("Halodial &Help"));
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, &controller, &SerialPortDemoController::help);
    manual_ = menu->addAction(tr("Halodial &Manual"));
    menu->addSeparator();
    about_ = menu->addAction(tr("&About Halodial"));
    about_->setMenuRole(QAction::AboutRole);
}
