#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class QWidget;

// The Help menu's windows beyond the help alert: the manual (README.md as
// installed beside the program, rendered) and About. GUI thread; both are
// modal and return when closed.
class HelpWindows {
    Q_DECLARE_TR_FUNCTIONS(HelpWindows)

public:
    // Where the manual is looked for, in order: the installed copy under
    // <prefix>/share/doc/halodial (found from the program's own folder),
    // then the source tree the program was built from.
    static QStringList manualCandidates();
    // The first candidate that exists, or empty.
    static QString manualPath();

    // Shows the manual; when none is on disk, says where it looked and that
    // `man halodial` has the same.
    static void showManual(QWidget* parent);
    static void showAbout(QWidget* parent);
};
