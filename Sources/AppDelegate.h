#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

// The application's delegate: it knows the main window and nothing else;
// Qt's defaults serve for everything an application delegate could decide.
class AppDelegate : public QObject {
    Q_OBJECT
    Q_PROPERTY(QWidget* window READ window WRITE setWindow)

public:
    explicit AppDelegate(QObject* parent = nullptr);

    // Not owned.
    QWidget* window() const { return window_; }
    void setWindow(QWidget* window) { window_ = window; }

private:
    QPointer<QWidget> window_;
};
