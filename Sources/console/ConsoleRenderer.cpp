#include "console/ConsoleRenderer.h"

#include <QDateTime>
#include <algorithm>
#include <limits>

#include "console/HexDump.h"

namespace {

QTime localTimeOf(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).time();
}

}  // namespace

void ConsoleRenderer::store(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch)
{
    chunks_.append(bytes, msecsSinceEpoch);
}

QString ConsoleRenderer::renderPending(qsizetype byteBudget)
{
    if (renderedOffset_ < chunks_.firstOffset()) {
        renderedOffset_ = chunks_.firstOffset();
        decoder_.reset();
    }
    QString text;
    auto budget = static_cast<std::uint64_t>(std::max<qsizetype>(byteBudget, HexDump::bytesPerRow));
    while (budget > 0 && hasPending()) {
        const ReceivedChunks::Chunk chunk = chunks_.chunk(chunks_.chunkIndexAt(renderedOffset_));
        const auto from = static_cast<std::size_t>(renderedOffset_ - chunk.offset);
        std::size_t to = chunk.bytes.size();
        if (to - from > budget) {
            to = from + static_cast<std::size_t>(budget);
            if (view_ == View::Hex) {
                // Rows count from the chunk's start.
                to = std::max(from + HexDump::bytesPerRow, to - (to - from) % HexDump::bytesPerRow);
                to = std::min(to, chunk.bytes.size());
            }
        }
        text += render(chunk, from, to);
        renderedOffset_ = chunk.offset + to;
        budget -= std::min<std::uint64_t>(budget, to - from);
    }
    return text;
}

QString ConsoleRenderer::append(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch)
{
    store(bytes, msecsSinceEpoch);
    return renderPending(std::numeric_limits<qsizetype>::max());
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
        const ReceivedChunks::Chunk chunk = chunks_.chunk(i);
        text += render(chunk, 0, chunk.bytes.size());
    }
    renderedOffset_ = chunks_.nextOffset();
    return text;
}

void ConsoleRenderer::clear()
{
    chunks_.clear();
    decoder_.reset();
    stamper_.reset();
    renderedOffset_ = 0;
}

void ConsoleRenderer::startNewStream()
{
    decoder_.reset();
    stamper_.reset();
}

QString ConsoleRenderer::render(const ReceivedChunks::Chunk& chunk, std::size_t from, std::size_t to)
{
    const auto bytes = chunk.bytes.subspan(from, to - from);
    if (view_ == View::Hex) {
        QString rows = HexDump::rows(bytes, chunk.offset + from);
        if (showsTimestamps_ && from == 0) {
            rows.prepend(LineTimestamper::timeText(localTimeOf(chunk.msecsSinceEpoch)) + QLatin1Char('\n'));
        }
        return rows;
    }
    const QString text = decoder_.decode(bytes);
    return showsTimestamps_ ? stamper_.stamp(text, localTimeOf(chunk.msecsSinceEpoch)) : text;
}
