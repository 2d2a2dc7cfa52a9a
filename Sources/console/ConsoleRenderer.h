#pragma once

#include <QString>
#include <cstdint>
#include <span>

#include "console/ConsoleDecoder.h"
#include "console/LineTimestamper.h"
#include "console/ReceivedChunks.h"

// Turns received chunks into what the console view shows, as text or as a
// hex dump, with or without arrival times, and keeps the chunks so that the
// view can be drawn again when the user switches. GUI thread only.
//
// Text: UTF-8 as ConsoleDecoder reads it, each line optionally starting
// with its arrival time. Hex: HexDump rows per chunk, each chunk optionally
// preceded by a line with its arrival time.
class ConsoleRenderer {
public:
    enum class View { Text, Hex };

    View view() const { return view_; }
    bool showsTimestamps() const { return showsTimestamps_; }
    // Both take effect for what is rendered next; redraw() shows the kept
    // chunks the new way.
    void setView(View view) { view_ = view; }
    void setShowsTimestamps(bool shows) { showsTimestamps_ = shows; }

    // Keeps the chunk; it is drawn by a later renderPending(). Cheap: a
    // flood arrives as one call per chunk, run back to back.
    void store(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch);
    // Draws kept bytes not drawn yet, oldest first, about `byteBudget` of
    // them (in hex, whole rows), and returns what to add at the end of the
    // view. Bytes that the record dropped before they were drawn are
    // skipped: the view could not have kept them either.
    QString renderPending(qsizetype byteBudget);
    bool hasPending() const { return renderedOffset_ < chunks_.nextOffset(); }
    // store() and draw it (and anything pending before it) at once.
    QString append(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch);

    // Every kept chunk drawn again; the view is to be replaced by it. In hex,
    // only the newest chunks that fill `lineBound` lines are drawn, as the
    // view would drop the others at once.
    QString redraw(int lineBound);

    // Forgets the chunks and any unfinished character or line: a new opening,
    // or the user clearing the view.
    void clear();

    // The next bytes come from another port: an unfinished character or
    // line of the last one does not continue with them.
    void startNewStream();

    const ReceivedChunks& received() const { return chunks_; }

private:
    // Draws bytes [from, to) of a chunk; a hex chunk's time line comes with
    // its first row.
    QString render(const ReceivedChunks::Chunk& chunk, std::size_t from, std::size_t to);

    View view_ = View::Text;
    bool showsTimestamps_ = false;
    ReceivedChunks chunks_;
    ConsoleDecoder decoder_;
    LineTimestamper stamper_;
    // Stream offset up to which the view has been given the bytes.
    std::uint64_t renderedOffset_ = 0;
};
