#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <optional>

class QLineEdit;

// The lines sent from the console's input, newest last, at most `bound`;
// Up and Down in the input line walk them as in a shell. Walking down past
// the newest gives back what was being typed before the walk began.
// GUI thread only.
class SendHistory : public QObject {
    Q_OBJECT

public:
    static constexpr qsizetype defaultBound = 100;

    explicit SendHistory(QObject* parent = nullptr, qsizetype bound = defaultBound);

    // Up and Down in `field` walk the history; not owned.
    void attach(QLineEdit* field);

    // A line sent. An empty line, or the newest one again, is not kept
    // twice. Ends any walk.
    void add(const QString& line);
    const QStringList& lines() const { return lines_; }

    // One step back (older) or forward (newer) from where the walk stands;
    // `typed` is the field's text, kept as the draft when a walk begins.
    // Absent when there is nowhere to go.
    std::optional<QString> older(const QString& typed);
    std::optional<QString> newer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    qsizetype bound_;
    QStringList lines_;
    qsizetype position_ = 0;  // == lines_.size(): not walking
    QString draft_;
    QPointer<QLineEdit> field_;
};
