#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <vector>

class SerialPortDemoController;

// The remote control's properties, one row each over the controller: how a
// property is read, how it is written (when it can be) and which of the
// controller's signals tell its changes. A new setting of the clock is one
// more row. GUI thread; nothing here blocks.
class RemoteProperties : public QObject {
    Q_OBJECT

public:
    struct Property {
        QString name;
        std::function<QVariant()> read;
        // Empty for a read-only property. Returns what is wrong with the
        // value, or an empty string once it has been applied.
        std::function<QString(const QVariant&)> write;
    };

    // `hasWindow` is what the HasWindow property says.
    RemoteProperties(SerialPortDemoController& controller, bool hasWindow, QObject* parent = nullptr);

    const std::vector<Property>& all() const { return properties_; }
    const Property* find(const QString& name) const;
    // Every property by name, as Properties.GetAll gives them.
    QVariantMap values() const;

signals:
    // Some property may have changed (several changes in a row come as
    // several calls; the listener compares).
    void mayHaveChanged();

private:
    SerialPortDemoController& controller_;
    std::vector<Property> properties_;
};
