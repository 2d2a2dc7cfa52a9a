#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <QWidget>

class QPlainTextEdit;

// The find bar under the console's output: a field, Previous and Next, and
// a note when nothing matches. Enter finds the next match, Shift+Enter the
// previous one, Escape hides the bar and gives the focus back to the view.
// Hidden until activate(). GUI thread.
class ConsoleSearchBar : public QWidget {
    Q_OBJECT

public:
    explicit ConsoleSearchBar(QWidget* parent = nullptr);

    // The view searched; not owned.
    void setView(QPlainTextEdit* view) { view_ = view; }

    // Shows the bar with the field focused and its text selected (Ctrl+F).
    void activate();

    QLineEdit* field() const { return field_; }
    // Empty, or the note that the text was not found.
    QString note() const { return note_->text(); }

public slots:
    bool findNext();
    bool findPrevious();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool find(bool backward);

    QPointer<QPlainTextEdit> view_;
    QLineEdit* field_ = nullptr;
    QLabel* note_ = nullptr;
};
