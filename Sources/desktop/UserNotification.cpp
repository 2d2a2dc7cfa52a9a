#include "desktop/UserNotification.h"

#include <utility>

void UserNotification::setTitle(QString title)
{
    title_ = std::move(title);
}

void UserNotification::setInformativeText(QString text)
{
    informativeText_ = std::move(text);
}

void UserNotification::setSoundName(std::optional<QString> soundName)
{
    soundName_ = std::move(soundName);
}

void UserNotification::setCategory(QString category)
{
    category_ = std::move(category);
}

void UserNotification::setDeliveredId(quint32 id)
{
    deliveredId_ = id;
}
