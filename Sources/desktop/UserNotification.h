#pragma once

#include <QString>
#include <chrono>
#include <optional>

// One desktop notification as the application describes it, and once the
// notification server has shown it, the id under which the server knows it.
// A plain value: the centre hands the delivered copy to its delegate, and
// whoever keeps that copy can later ask for its removal.
class UserNotification {
public:
    const QString& title() const { return title_; }
    void setTitle(QString title);

    const QString& informativeText() const { return informativeText_; }
    void setInformativeText(QString text);

    // No sound name means a silent notification.
    const std::optional<QString>& soundName() const { return soundName_; }
    void setSoundName(std::optional<QString> soundName);

    // A freedesktop notification category such as "device.added"; empty for
    // none.
    const QString& category() const { return category_; }
    void setCategory(QString category);

    // How long the notification stays once delivered; the centre then
    // withdraws it itself. None: until the server or the user closes it.
    const std::optional<std::chrono::milliseconds>& lifetime() const { return lifetime_; }
    void setLifetime(std::optional<std::chrono::milliseconds> lifetime) { lifetime_ = lifetime; }

    // Set by the centre when the server has accepted the notification.
    const std::optional<quint32>& deliveredId() const { return deliveredId_; }
    bool isDelivered() const { return deliveredId_.has_value(); }
    void setDeliveredId(quint32 id);

private:
    QString title_;
    QString informativeText_;
    std::optional<QString> soundName_;
    QString category_;
    std::optional<std::chrono::milliseconds> lifetime_;
    std::optional<quint32> deliveredId_;
};
