#include <QApplication>
#include <iostream>
#include <memory>
#include <variant>

#include "Application.h"
#include "CommandLine.h"
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

    const auto parsed = CommandLine::parse(QApplication::arguments());
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }

    // Before anything touches the serial library: its main thread is Qt's.
    vel::MainQueue::setShared(std::make_shared<QtMainQueue>());

    ApplicationOptions options = std::get<ApplicationOptions>(parsed);
    options.headless = QGuiApplication::platformName() == QLatin1String("offscreen");
    Application application(VELSerialPortManager::sharedSerialPortManager());
    if (const auto error = application.start(options)) {
        std::cerr << "halodial: " << error->message.toStdString() << std::endl;
        return error->exitStatus;
    }
    return QApplication::exec();
}
