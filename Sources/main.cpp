#include <QApplication>

#include "MainWindow.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halodial"));
    QApplication::setApplicationVersion(QStringLiteral(HALODIAL_VERSION));

    MainWindow window;
    window.show();
    return QApplication::exec();
}
