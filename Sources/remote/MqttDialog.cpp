#include "remote/MqttDialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

MqttDialog::MqttDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MqttDialog"));
    setWindowTitle(tr("MQTT Broker"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Put the clock on an MQTT broker, where Home Assistant finds it by itself. "
                                "Leave the broker empty to turn MQTT off."));
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    url_ = new QLineEdit;
    url_->setObjectName(QStringLiteral("mqttUrl"));
    url_->setPlaceholderText(QStringLiteral("mqtt://HOST[:PORT]"));
    form->addRow(tr("&Broker:"), url_);
    clientId_ = new QLineEdit;
    clientId_->setObjectName(QStringLiteral("mqttClientId"));
    clientId_->setPlaceholderText(tr("chosen by the broker"));
    form->addRow(tr("C&lient id:"), clientId_);
    prefix_ = new QLineEdit;
    prefix_->setObjectName(QStringLiteral("mqttPrefix"));
    prefix_->setPlaceholderText(MqttSettings::defaultTopicPrefix());
    form->addRow(tr("Topic &prefix:"), prefix_);
    credentials_ = addFileRow(*form, tr("&Credentials file:"), QStringLiteral("mqttCredentials"));
    credentials_->setToolTip(tr("A file of mode 0600 with the user on its first line and the password on its "
                                "second. Halodial keeps only the file's path."));
    ca_ = addFileRow(*form, tr("C&A file:"), QStringLiteral("mqttCa"));
    ca_->setToolTip(tr("For mqtts://: the CA the broker's certificate is checked against; the system's CAs "
                       "when empty."));

    problem_ = new QLabel;
    problem_->setObjectName(QStringLiteral("mqttProblem"));
    problem_->setWordWrap(true);
    problem_->hide();
    layout->addWidget(problem_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &MqttDialog::check);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

QLineEdit* MqttDialog::addFileRow(QFormLayout& form, const QString& label, const QString& objectName)
{
    auto* row = new QHBoxLayout;
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    auto* browse = new QPushButton(tr("Choose…"));
    connect(browse, &QPushButton::clicked, this, [this, edit] {
        const QString file = QFileDialog::getOpenFileName(this, tr("Choose a File"), edit->text());
        if (!file.isEmpty()) {
            edit->setText(file);
        }
    });
    row->addWidget(edit);
    row->addWidget(browse);
    form.addRow(label, row);
    if (auto* buddy = qobject_cast<QLabel*>(form.labelForField(row))) {
        buddy->setBuddy(edit);
    }
    return edit;
}

void MqttDialog::setChoice(const MqttSettings::Choice& choice)
{
    url_->setText(choice.url);
    clientId_->setText(choice.clientId);
    prefix_->setText(choice.topicPrefix);
    credentials_->setText(choice.credentialsFile);
    ca_->setText(choice.caFile);
}

MqttSettings::Choice MqttDialog::choice() const
{
    return {url_->text().trimmed(), clientId_->text().trimmed(), prefix_->text().trimmed(),
            credentials_->text().trimmed(), ca_->text().trimmed()};
}

void MqttDialog::check()
{
    const MqttSettings::Choice chosenNow = choice();
    if (chosenNow.url.isEmpty()) {
        emit chosen(chosenNow, std::nullopt);
        accept();
        return;
    }
    const auto settings = MqttSettings::fromChoice(chosenNow);
    if (const QString* problem = std::get_if<QString>(&settings)) {
        problem_->setText(*problem);
        problem_->show();
        return;
    }
    problem_->hide();
    emit chosen(chosenNow, std::get<MqttSettings>(settings));
    accept();
}
