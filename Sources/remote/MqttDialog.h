#pragma once

#include <QDialog>
#include <optional>

#include "remote/MqttSettings.h"

class QFormLayout;
class QLabel;
class QLineEdit;

// The window's MQTT dialog: the broker's URL, the client id, the topic
// prefix, and the paths of the credentials file and the CA file, as the
// --mqtt options take them. OK checks them as the command line does (the
// credentials file read and its mode checked) and keeps the dialog open
// with what is wrong; an empty URL turns MQTT off. GUI thread.
class MqttDialog : public QDialog {
    Q_OBJECT

public:
    explicit MqttDialog(QWidget* parent = nullptr);

    void setChoice(const MqttSettings::Choice& choice);
    MqttSettings::Choice choice() const;

signals:
    // OK with a choice that holds; `settings` is empty when MQTT is off.
    void chosen(const MqttSettings::Choice& choice, const std::optional<MqttSettings>& settings);

private:
    void check();
    QLineEdit* addFileRow(QFormLayout& form, const QString& label, const QString& objectName);

    QLineEdit* url_;
    QLineEdit* clientId_;
    QLineEdit* prefix_;
    QLineEdit* credentials_;
    QLineEdit* ca_;
    QLabel* problem_;
};
