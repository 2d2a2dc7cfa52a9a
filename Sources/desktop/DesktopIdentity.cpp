#include "desktop/DesktopIdentity.h"

#include <QGuiApplication>

QIcon DesktopIdentity::icon()
{
    // Built once: QIcon shares its data, and the theme lookup walks the
    // icon directories.
    static const QIcon icon = [] {
        QIcon builtIn;
        for (const int size : {48, 128, 256}) {
            builtIn.addFile(QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(applicationId)).arg(size),
                            QSize(size, size));
        }
        return QIcon::fromTheme(QLatin1String(applicationId), builtIn);
    }();
    return icon;
}

void DesktopIdentity::applyToApplication()
{
    // Without it, Wayland compositors match the window to no desktop entry
    // and show a generic icon in the task switcher.
    QGuiApplication::setDesktopFileName(QLatin1String(applicationId));
    QGuiApplication::setWindowIcon(icon());
}
