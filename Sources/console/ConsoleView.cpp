#include "console/ConsoleView.h"

#include <QMimeData>
#include <QTextBlock>

#include "console/HexDump.h"

ConsoleView::ConsoleView(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
}

QString ConsoleView::selectedBytesAsHex() const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        return {};
    }
    const QTextDocument* doc = document();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    QByteArray bytes;
    for (QTextBlock block = doc->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        const int from = std::max(0, start - block.position());
        const int to = std::min(block.length(), end - block.position());
        bytes += HexDump::bytesOfRow(block.text(), from, to);
    }
    return HexDump::hexText(bytes);
}

QMimeData* ConsoleView::createMimeDataFromSelection() const
{
    if (!hexView_) {
        return QPlainTextEdit::createMimeDataFromSelection();
    }
    auto* data = new QMimeData;
    data->setText(selectedBytesAsHex());
    return data;
}
