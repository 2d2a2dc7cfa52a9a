#include "ports/PortListModel.h"

#include <QThread>
#include <algorithm>
#include <functional>

#include "ports/PortLabel.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"

PortListModel::PortListModel(VELSerialPortManager& manager, QObject* parent)
    : QAbstractListModel(parent), manager_(manager), ports_(manager.availablePorts())
{
    observation_ = manager_.addObserver("availablePorts", [this](const vel::Change& change) {
        if (QThread::currentThread() == thread()) {
            portsChanged(change);
        } else {
            // Only sleep and wake change the list elsewhere; take it whole
            // once back on the model's own thread.
            QMetaObject::invokeMethod(this, &PortListModel::reload, Qt::QueuedConnection);
        }
    });
}

int PortListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(ports_.size());
}

QVariant PortListModel::data(const QModelIndex& index, int role) const
{
    const auto port = portAt(index.row());
    if (!index.isValid() || !port) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return PortLabel::of(port);
    case Qt::ToolTipRole:
        return QString::fromStdString(port->path());
    default:
        return {};
    }
}

std::shared_ptr<VELSerialPort> PortListModel::portAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(ports_.size())) {
        return nullptr;
    }
    return ports_[static_cast<std::size_t>(row)];
}

int PortListModel::rowOf(const std::shared_ptr<VELSerialPort>& port) const
{
    if (!port) {
        return -1;
    }
    const auto it = std::find(ports_.begin(), ports_.end(), port);
    return it == ports_.end() ? -1 : static_cast<int>(it - ports_.begin());
}

void PortListModel::portsChanged(const vel::Change& change)
{
    if (change.isPrior) {
        return;
    }
    std::vector<std::size_t> indexes = change.indexes;
    switch (change.kind) {
    case vel::ChangeKind::Insertion: {
        // Ascending, each index is a position in the list as it is now, and
        // the rows before it are already in place.
        const auto now = manager_.availablePorts();
        std::sort(indexes.begin(), indexes.end());
        for (const std::size_t index : indexes) {
            if (index > ports_.size() || index >= now.size()) {
                reload();
                return;
            }
            const int row = static_cast<int>(index);
            beginInsertRows(QModelIndex(), row, row);
            ports_.insert(ports_.begin() + row, now[index]);
            endInsertRows();
        }
        break;
    }
    case vel::ChangeKind::Removal:
        // Descending, each index is still a position in the model's rows.
        std::sort(indexes.begin(), indexes.end(), std::greater<>());
        for (const std::size_t index : indexes) {
            if (index >= ports_.size()) {
                reload();
                return;
            }
            const int row = static_cast<int>(index);
            beginRemoveRows(QModelIndex(), row, row);
            ports_.erase(ports_.begin() + row);
            endRemoveRows();
        }
        break;
    case vel::ChangeKind::Setting:
    case vel::ChangeKind::Replacement:
        reload();
        break;
    }
}

void PortListModel::reload()
{
    beginResetModel();
    ports_ = manager_.availablePorts();
    endResetModel();
}
