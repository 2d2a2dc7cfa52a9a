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
    const bool found = own->load(locale, QStringLiteral("halodial"), QStringLiteral("_"), directory);
    // The English catalogue holds only the plural forms ("1 piece", "2
    // pieces"), which the program's texts cannot spell for every count.
    if (found || own->load(QStringLiteral("halodial_en"), directory)) {
        QCoreApplication::installTranslator(own);
    } else {
        delete own;
    }
    return found;
}
