#pragma once

#include <QString>

class QPlainTextEdit;

// Finding text in the console's output, case-insensitively, from the
// current selection onwards (or backwards), wrapping around at the end. A
// hit becomes the view's selection and is scrolled into sight. GUI thread.
class ConsoleSearch {
public:
    enum class Direction { Forward, Backward };

    // True when `needle` was found; the selection stays as it was otherwise.
    static bool find(QPlainTextEdit& view, const QString& needle, Direction direction);
};
