#include "console/ConsoleSearch.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

bool ConsoleSearch::find(QPlainTextEdit& view, const QString& needle, Direction direction)
{
    if (needle.isEmpty()) {
        return false;
    }
    const QTextDocument::FindFlags flags =
        direction == Direction::Backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextDocument* document = view.document();
    const QTextCursor from = view.textCursor();
    QTextCursor hit = document->find(needle, from, flags);
    if (hit.isNull()) {
        // Round the end: from the top going forwards, from the bottom going back.
        QTextCursor edge(document);
        edge.movePosition(direction == Direction::Backward ? QTextCursor::End : QTextCursor::Start);
        hit = document->find(needle, edge, flags);
    }
    if (hit.isNull()) {
        return false;
    }
    view.setTextCursor(hit);
    view.ensureCursorVisible();
    return true;
}
