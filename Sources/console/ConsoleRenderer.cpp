#include "console/ConsoleRenderer.h"

#include <QDateTime>

#include "console/HexDump.h"

namespace {

QTime localTimeOf(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).time();
}

}  // namespace

QString ConsoleRenderer::append(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch)
{
    if (bytes.empty()) {
        return {};
    }
    chunks_.append(bytes, msecsSinceEpoch);
    return render(chunks_.chunk(chunks_.chunkCount() - 1));
}

QString ConsoleRenderer::redraw(int lineBound)
{
    decoder_.reset();
    stamper_.reset();
    std::size_t first = 0;
    if (view_ == View::Hex) {
        // Counting rows from the newest chunk back is cheap; drawing the
        // whole record would be wasted on rows the view cannot keep.
        qsizetype lines = 0;
        first = chunks_.chunkCount();
        while (first > 0 && lines < lineBound) {
            --first;
            const std::size_t size = chunks_.chunk(first).bytes.size();
            lines += static_cast<qsizetype>((size + HexDump::bytesPerRow - 1) / HexDump::bytesPerRow);
            lines += showsTimestamps_ ? 1 : 0;
        }
    }
    QString text;
    for (std::size_t i = first; i < chunks_.chunkCount(); ++i) {
        text += render(chunks_.chunk(i));
    }
    return text;
}

void ConsoleRenderer::clear()
{
    chunks_.clear();
    decoder_.reset();
    stamper_.reset();
}

void ConsoleRenderer::startNewStream()
{
    decoder_.reset();
    stamper_.reset();
}

QString ConsoleRenderer::render(const ReceivedChunks::Chunk& chunk)
{
    if (view_ == View::Hex) {
        QString rows = HexDump::rows(chunk.bytes, chunk.offset);
        if (showsTimestamps_) {
            rows.prepend(LineTimestamper::timeText(localTimeOf(chunk.msecsSinceEpoch)) + QLatin1Char('\n'));
        }
        return rows;
    }
    const QString text = decoder_.decode(chunk.bytes);
    return showsTimestamps_ ? stamper_.stamp(text, localTimeOf(chunk.msecsSinceEpoch)) : text;
}
