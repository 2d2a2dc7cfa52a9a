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

    // Keeps the chunk and returns what to add at the end of the view.
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
    QString render(const ReceivedChunks::Chunk& chunk);

    View view_ = View::Text;
    bool showsTimestamps_ = false;
    ReceivedChunks chunks_;
    ConsoleDecoder decoder_;
    LineTimestamper stamper_;
};
