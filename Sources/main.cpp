#include <QApplication>
#include <QMessageBox>
#include <iostream>
#include <memory>
#include <variant>

#include "Application.h"
#include "CommandLine.h"
#include "settings/SettingsStore.h"
#include "Translations.h"
#include "desktop/DesktopIdentity.h"
#include "desktop/QtMainQueue.h"
#include "remote/SingleInstance.h"
#include "dispatch/TerminationSignals.h"
#include "VELSerialPortManager.h"

namespace {

QtMessageHandler qtHandler = nullptr;

// Without a display (offscreen) Qt's platform plugin says, for each window,
// what it cannot do there ("This plugin does not support
// propagateSizeHints()"); that is no news to whoever asked for no display,
// and it would bury Halodial's own lines on standard error.
void withoutPlatformChatter(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    qtHandler(type, context, message);
}

}  // namespace

int main(int argc, char* argv[])
{
    // First of all, before Qt or the serial library start a thread: the
    // signals must be blocked in every thread for the event loop to receive
    // them (see below) rather than be killed by them.
    const bool signalsBlocked = vel::TerminationSignals::blockInThisThread();

    if (const auto status = CommandLine::answerInformationalOptions(argc, argv)) {
        return *status;
    }

    // --headless needs no display, fonts or widgets: a plain event loop
    // starts in a fraction of the time and memory. Where Qt's own options
    // (-platform) or the screenshots ask for one, the widgets come along
    // offscreen; -platform, when given, still wins.
    const bool headless = CommandLine::asksForHeadless(argc, argv);
    const bool needsWidgets = !headless || CommandLine::asksForWidgets(argc, argv);
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::unique_ptr<QCoreApplication> app;
    if (needsWidgets) {
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    if (needsWidgets && QGuiApplication::platformName() == QLatin1String("offscreen")) {
        qtHandler = qInstallMessageHandler(withoutPlatformChatter);
    }
    // The settings file's place: $XDG_CONFIG_HOME/Halodial/halodial.conf.
    QCoreApplication::setOrganizationName(QString::fromLatin1(SettingsStore::organisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(SettingsStore::applicationName));
    QCoreApplication::setApplicationVersion(QStringLiteral(HALODIAL_VERSION));
    if (needsWidgets) {
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Halodial"));
        DesktopIdentity::applyToApplication();
    }
    Translations::load(QLocale());

    const auto parsed = CommandLine::parse(QCoreApplication::arguments());
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }

    // One window per user: a window start hands its wishes to the running
    // one, and does not compete with the headless service for the clock.
    const ApplicationOptions& asked = std::get<ApplicationOptions>(parsed);
    if (!headless && !asked.newInstance && asked.screenshotDirectory.isEmpty()) {
        if (const auto running = SingleInstance::find()) {
            if (running->hasWindow) {
                const QString problem = SingleInstance::handOver(asked.portPath, asked.open, asked.sync);
                if (problem.isEmpty()) {
                    return 0;
                }
                std::cerr << "halodial: " << problem.toStdString() << std::endl;
                return 1;
            }
            const QString message = SingleInstance::serviceRunsMessage(*running);
            std::cerr << "halodial: " << message.toStdString() << std::endl;
            // Where nobody could answer it, the line above is all.
            if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
                QMessageBox box(QMessageBox::Information, QStringLiteral("Halodial"), message);
                box.exec();
            }
            return 1;
        }
    }

    // Before anything touches the serial library: its main thread is Qt's.
    auto mainQueue = std::make_shared<QtMainQueue>();
    vel::MainQueue::setShared(mainQueue);

    // SIGINT, SIGTERM and SIGHUP quit as the window's Quit does: the event
    // loop ends, and the exit clean-up closes the ports and puts their
    // original attributes back.
    std::unique_ptr<vel::TerminationSignals> terminationSignals;
    if (signalsBlocked) {
        terminationSignals = std::make_unique<vel::TerminationSignals>(*mainQueue, [](int) { QCoreApplication::quit(); });
    }

    ApplicationOptions options = std::get<ApplicationOptions>(parsed);
    options.headless = !needsWidgets || QGuiApplication::platformName() == QLatin1String("offscreen");
    // The window waits for a port that went away; without one, --wait asks.
    options.reconnects = options.reconnects || !options.headless;
    options.remembersSettings = true;
    options.remoteControl = true;
    // Screenshots need the window, even where nobody sees it.
    const bool windowless = options.headless && options.screenshotDirectory.isEmpty();
    Application application(VELSerialPortManager::sharedSerialPortManager(),
                            windowless ? Application::Presentation::Headless : Application::Presentation::Window);
    if (const auto error = application.start(options)) {
        std::cerr << "halodial: " << error->message.toStdString() << std::endl;
        return error->exitStatus;
    }
    const int status = QCoreApplication::exec();
    terminationSignals.reset();
    return status;
}
