#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <chrono>
#include <optional>

// halodialctl's side of the remote control: the calls to a running
// Halodial on the session bus. Every call blocks the calling thread (a
// command-line client has nothing else to do) for at most callTimeout, and
// fails with a message rather than throwing.
class HalodialClient {
public:
    static constexpr std::chrono::milliseconds busProbeDeadline {1500};
    static constexpr std::chrono::milliseconds callTimeout {10000};

    // Joins the session bus (after a probe, so that a hung bus fails
    // rather than hangs) and finds Halodial there; empty with `problem`
    // set otherwise.
    static std::optional<HalodialClient> connect(QString& problem);

    // Calls the method; the error's message when Halodial refuses.
    std::optional<QString> call(const QString& method, const QVariantList& arguments = {});
    // Sets the property; the error's message when Halodial refuses.
    std::optional<QString> setProperty(const QString& name, const QVariant& value);
    // Every property; empty with `problem` set when that fails.
    std::optional<QVariantMap> properties(QString& problem);
    // Waits until the property no longer reads `value`, at most `deadline`;
    // its last value.
    QVariant waitWhile(const QString& property, const QVariant& value, std::chrono::milliseconds deadline);

private:
    explicit HalodialClient(const QDBusConnection& bus) : bus_(bus) { }

    QDBusConnection bus_;
};
