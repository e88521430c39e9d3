#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <vector>

#include "core/table/device_order.h"
#include "core/table/device_record.h"
#include "ui/icons.h"

namespace quillmote {

// The device list's rows as a table model. Each publish is applied as removals, a
// reorder and insertions keyed by the row's id, so selection and scroll position
// survive it.
class DeviceListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { signal, name, distance, rate, maker, kind, source, columnCount_ };
    // The row's record, for delegates.
    static constexpr int recordRole = Qt::UserRole + 1;
    static constexpr int fadedRole = Qt::UserRole + 2;
    static constexpr int identityChangesRole = Qt::UserRole + 3;

    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<DeviceRecord> rows, Instant publishedAt);
    const std::vector<DeviceRecord>& rows() const { return rows_; }
    std::optional<int> rowOf(const std::string& id) const;

    static DeviceOrder::Field sortField(int column);
    static std::optional<int> columnOf(DeviceOrder::Field field);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<DeviceRecord> rows_;
    Instant publishedAt_{};
    mutable KindIcons kindIcons_;

    QVariant display(const DeviceRecord& row, int column) const;
    QVariant toolTip(const DeviceRecord& row, int column) const;
};

}  // namespace quillmote
