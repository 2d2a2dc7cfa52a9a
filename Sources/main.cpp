#include <QApplication>
#include <iostream>
#include <memory>
#include <variant>

#include "Application.h"
#include "CommandLine.h"
#include "Translations.h"
#include "desktop/DesktopIdentity.h"
#include "desktop/QtMainQueue.h"
#include "VELSerialPortManager.h"

int main(int argc, char* argv[])
{
    if (const auto status = CommandLine::answerInformationalOptions(argc, argv)) {
        return *status;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halodial"));
    QApplication::setApplicationVersion(QStringLiteral(HALODIAL_VERSION));
    DesktopIdentity::applyToApplication();
    Translations::load(QLocale());

    const auto parsed = CommandLine::parse(QApplication::arguments());
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }

    // Before anything touches the serial library: its main thread is Qt's.
    vel::MainQueue::setShared(std::make_shared<QtMainQueue>());

    Application application(VELSerialPortManager::sharedSerialPortManager());
    if (const auto error = application.start(std::get<ApplicationOptions>(parsed))) {
        std::cerr << "halodial: " << error->message.toStdString() << std::endl;
        return error->exitStatus;
    }
    return QApplication::exec();
}
