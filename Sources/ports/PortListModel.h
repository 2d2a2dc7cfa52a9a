#pragma once

#include <QAbstractListModel>
#include <memory>
#include <vector>

#include "support/Observable.h"

class VELSerialPort;
class VELSerialPortManager;

// The port manager's availablePorts as a list model for the port selector:
// one row per port, its name shown and its path as tooltip. The model
// follows the manager's index-level notices row by row, so a view keeps its
// selection on the same port when others come and go.
class PortListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit PortListModel(VELSerialPortManager& manager, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Null outside the rows.
    std::shared_ptr<VELSerialPort> portAt(int row) const;
    // The row of that very port object, or -1.
    int rowOf(const std::shared_ptr<VELSerialPort>& port) const;

private:
    void portsChanged(const vel::Change& change);
    void reload();

    VELSerialPortManager& manager_;
    // The model's own copy: rows change only between begin and end of a row
    // change, as views require, whatever the manager's list holds meanwhile.
    std::vector<std::shared_ptr<VELSerialPort>> ports_;
    vel::Observation observation_;
};
