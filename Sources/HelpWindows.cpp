#include "HelpWindows.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

QStringList HelpWindows::manualCandidates()
{
    const QDir program(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(program.filePath(QStringLiteral("../share/doc/halodial/README.md"))),
            QStringLiteral(HALODIAL_SOURCE_DIR "/README.md")};
}

QString HelpWindows::manualPath()
{
    for (const QString& candidate : manualCandidates()) {
        if (QFileInfo(candidate).isFile()) {
            return candidate;
        }
    }
    return {};
}

void HelpWindows::showManual(QWidget* parent)
{
    const QString path = manualPath();
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        QMessageBox::information(parent, tr("Halodial Manual"),
                                 tr("The manual is not installed here (looked for %1). "
                                    "In a terminal, man halodial shows it.")
                                     .arg(manualCandidates().join(tr(" and "))));
        return;
    }
    QDialog dialog(parent);
    dialog.setWindowTitle(tr("Halodial Manual"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QTextBrowser(&dialog);
    text->setObjectName(QStringLiteral("manualText"));
    text->setOpenExternalLinks(true);
    // The pictures it names sit beside it.
    text->setSearchPaths({QFileInfo(path).absolutePath()});
    text->setMarkdown(QString::fromUtf8(file.readAll()));
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(720, 560);
    dialog.exec();
}

void HelpWindows::showAbout(QWidget* parent)
{
    const QString home = QStringLiteral("https://" HALODIAL_HOMEPAGE_HOST "/");
    QMessageBox::about(parent, tr("About Halodial"),
                       tr("<h3>Halodial %1</h3>"
                          "<p>Drives a six-digit tube clock over a serial port.</p>"
                          "<p>Licence: MIT. Qt %2.</p>"
                          "<p><a href=\"%3\">%3</a></p>")
                           .arg(QStringLiteral(HALODIAL_VERSION), QString::fromLatin1(qVersion()), home));
}
