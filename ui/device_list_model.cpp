#include "ui/device_list_model.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <unordered_map>
#include <unordered_set>

#include "ui/device_text.h"

namespace quillmote {

namespace {

const QString dash = QStringLiteral("—");

QFont monospacedFont(bool caption) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (caption) font.setPointSizeF(QApplication::font().pointSizeF() * 0.85);
    return font;
}

QColor secondaryColour() { return QApplication::palette().color(QPalette::PlaceholderText); }

}  // namespace

void DeviceListModel::setRows(std::vector<DeviceRecord> rows, Instant publishedAt) {
    publishedAt_ = publishedAt;

    std::unordered_set<std::string> incoming;
    incoming.reserve(rows.size());
    for (const auto& row : rows) incoming.insert(row.id);

    // Removals, bottom up, one signal per run of neighbouring rows.
    for (int last = static_cast<int>(rows_.size()) - 1; last >= 0;) {
        if (incoming.contains(rows_[last].id)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !incoming.contains(rows_[first - 1].id)) --first;
        beginRemoveRows({}, first, last);
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        endRemoveRows();
        last = first - 1;
    }

    // The rows that stay, moved into their new relative order.
    std::unordered_map<std::string, int> staying;
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) staying.emplace(rows_[i].id, i);
    std::vector<int> wanted;  // old row index of each staying row, in the new order
    wanted.reserve(rows_.size());
    for (const auto& row : rows)
        if (auto found = staying.find(row.id); found != staying.end()) wanted.push_back(found->second);
    bool moved = false;
    for (int i = 0; i < static_cast<int>(wanted.size()); ++i) moved = moved || wanted[i] != i;
    if (moved) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> newRowOf(wanted.size());
        std::vector<DeviceRecord> reordered;
        reordered.reserve(rows_.size());
        for (int i = 0; i < static_cast<int>(wanted.size()); ++i) {
            newRowOf[wanted[i]] = i;
            reordered.push_back(std::move(rows_[wanted[i]]));
        }
        rows_ = std::move(reordered);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before) after.push_back(this->index(newRowOf[index.row()], index.column()));
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    // Insertions: whatever is not a staying row, in runs.
    for (int i = 0; i < static_cast<int>(rows.size());) {
        if (staying.contains(rows[i].id)) {
            ++i;
            continue;
        }
        int end = i;
        while (end < static_cast<int>(rows.size()) && !staying.contains(rows[end].id)) ++end;
        beginInsertRows({}, i, end - 1);
        // Copies: `rows` still becomes the model's values below.
        rows_.insert(rows_.begin() + i, rows.begin() + i, rows.begin() + end);
        endInsertRows();
        i = end;
    }

    // Same rows, same order: take the new values.
    rows_ = std::move(rows);
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, columnCount_ - 1));
}

std::optional<int> DeviceListModel::rowOf(const std::string& id) const {
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (rows_[i].id == id) return i;
    return std::nullopt;
}

DeviceOrder::Field DeviceListModel::sortField(int column) {
    switch (column) {
        case signal: return DeviceOrder::Field::signal;
        case distance: return DeviceOrder::Field::distance;
        case rate: return DeviceOrder::Field::rate;
        case maker: return DeviceOrder::Field::maker;
        case kind: return DeviceOrder::Field::kind;
        case source: return DeviceOrder::Field::source;
        default: return DeviceOrder::Field::name;
    }
}

std::optional<int> DeviceListModel::columnOf(DeviceOrder::Field field) {
    for (int column = 0; column < columnCount_; ++column)
        if (sortField(column) == field) return column;
    return std::nullopt;
}

int DeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DeviceListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columnCount_; }

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* titles[] = {"Signal", "Name", "Distance", "Pkts/s", "Maker", "Type", "Via"};
    return section >= 0 && section < columnCount_ ? QString::fromLatin1(titles[section]) : QVariant();
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const DeviceRecord& row = rows_[index.row()];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole: return display(row, column);
        case Qt::ToolTipRole: return toolTip(row, column);
        case Qt::DecorationRole:
            return column == name ? QVariant(kindIcons_.icon(row.identity.kind, QGuiApplication::palette()))
                                  : QVariant();
        case Qt::TextAlignmentRole:
            if (column == signal || column == rate) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::FontRole:
            if (column == distance || column == rate || column == signal) return monospacedFont(false);
            if (column == source) return monospacedFont(true);
            return {};
        case Qt::ForegroundRole: {
            const bool secondary = (column == name && !row.hasOwnName()) ||
                                   (column == distance && row.distance() && !row.distance()->isCalibrated);
            return secondary ? QVariant(secondaryColour()) : QVariant();
        }
        case recordRole: return QVariant::fromValue(static_cast<const void*>(&row));
        case fadedRole: return Freshness::of(row, publishedAt_) == Freshness::silent;
        case identityChangesRole: return row.identityChanges;
        case Qt::AccessibleTextRole:
            if (column == signal) return display(row, column).toString() + QStringLiteral(" dBm");
            return display(row, column);
        default: return {};
    }
}

QVariant DeviceListModel::display(const DeviceRecord& row, int column) const {
    switch (column) {
        case signal: return dbmText(row.rssi());
        case name: return plainText(row.displayName());
        case distance: {
            const auto estimate = row.distance();
            return estimate ? QString::fromStdString(estimate->label()) : dash;
        }
        case rate: return packetRateLabel(row.packetsPerSecond(publishedAt_));
        case maker: return row.identity.maker ? plainText(*row.identity.maker) : dash;
        case kind: return QString::fromUtf8(rawValue(row.identity.kind).data(),
                                            static_cast<qsizetype>(rawValue(row.identity.kind).size()));
        case source: return QString::fromLatin1(rawValue(row.source).data(),
                                                static_cast<qsizetype>(rawValue(row.source).size()));
        default: return {};
    }
}

QVariant DeviceListModel::toolTip(const DeviceRecord& row, int column) const {
    switch (column) {
        case name:
            if (row.identityChanges >= 1)
                return QStringLiteral("This device kept reappearing under a new identity with the same name, so it's "
                                      "kept on one row.");
            return {};
        case distance: {
            const auto estimate = row.distance();
            if (!estimate)
                return QStringLiteral("This device doesn't announce its transmit power, so metres can't be estimated.");
            if (estimate->isCalibrated)
                return QStringLiteral(
                    "Rough range from the beacon's calibrated 1-metre strength; walls and bodies still change it.");
            return QStringLiteral("Unreliable: based on the transmit power the device claims, which is often wrong "
                                  "(many devices claim the same value whatever they are).");
        }
        case rate: return QStringLiteral("Broadcasts per second over the last 10 seconds.");
        case source: {
            const auto text = displayName(row.source);
            return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        }
        default: return {};
    }
}

}  // namespace quillmote
