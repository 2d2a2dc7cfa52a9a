#pragma once

#include <QLocale>
#include <QString>

// The catalogues that put Halodial's window and desktop texts into the
// user's language. The texts in the program are English; a catalogue
// (halodial_de.qm, ...) carries one language. What goes to the clock and the
// lines on standard output that scripts read are never translated.
class Translations {
public:
    // share/halodial/translations beside the executable's directory: the
    // place of an installed program, and the build tree's layout as well.
    // Needs the QCoreApplication.
    static QString directory();

    // Loads the catalogue for `locale`'s languages from `directory` into the
    // application, with Qt's own for its standard dialogs and options where
    // the system has it, and returns whether Halodial's was found. A locale
    // without a catalogue gets the English texts, with the English catalogue
    // for their plural forms.
    // GUI thread, before the first window or help text is built; the
    // QCoreApplication owns what is loaded.
    static bool load(const QLocale& locale, const QString& directory = Translations::directory());
};
