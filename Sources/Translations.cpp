#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

QString Translations::directory()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/halodial/translations"));
}

bool Translations::load(const QLocale& locale, const QString& directory)
{
    auto* application = QCoreApplication::instance();
    // Qt's own catalogue is a nicety (the colour dialog's buttons, the
    // command line's "Displays help"); Debian ships it apart, so it may be
    // missing.
    auto* qt = new QTranslator(application);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
    } else {
        delete qt;
    }
    auto* own = new QTranslator(application);
    if (!own->load(locale, QStringLiteral("halodial"), QStringLiteral("_"), directory)) {
        delete own;
        return false;
    }
    QCoreApplication::installTranslator(own);
    return true;
}
