#include "core/table/device_order.h"

#include <algorithm>
#include <unordered_set>

#include "core/table/device_table.h"

namespace quillmote {

namespace {

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : b < a ? 1 : 0;
}

// Present values first; `present` compares two present values.
template <typename T, typename Compare>
int presentFirst(const std::optional<T>& a, const std::optional<T>& b, Compare present) {
    if (a && b) return present(*a, *b);
    if (a) return -1;
    if (b) return 1;
    return 0;
}

std::optional<std::string> kindText(const DeviceRecord& record) {
    if (record.identity.kind == DeviceKind::unknown) return std::nullopt;
    return std::string(rawValue(record.identity.kind));
}

int compareField(DeviceOrder::Field field, const DeviceRecord& a, const DeviceRecord& b, const TextOrder& text) {
    auto texts = [&text](const std::string& x, const std::string& y) { return text.compare(x, y); };
    switch (field) {
        case DeviceOrder::Field::signal:
            return presentFirst(a.rssi(), b.rssi(), [](double x, double y) { return threeWay(y, x); });
        case DeviceOrder::Field::distance:
            return presentFirst(a.distance(), b.distance(),
                                [](const DistanceEstimate::Estimate& x, const DistanceEstimate::Estimate& y) {
                                    if (x.isCalibrated != y.isCalibrated) return x.isCalibrated ? -1 : 1;
                                    return threeWay(x.lower, y.lower);
                                });
        case DeviceOrder::Field::rate:
            // Each row at its own last sighting, so a silent row keeps the rate it had.
            return presentFirst(a.packetsPerSecond(a.lastSeen), b.packetsPerSecond(b.lastSeen),
                                [](double x, double y) { return threeWay(y, x); });
        case DeviceOrder::Field::name:
        case DeviceOrder::Field::maker:
        case DeviceOrder::Field::kind:
        case DeviceOrder::Field::source: {
            const DeviceOrder order{field};
            return presentFirst(order.text(a), order.text(b), texts);
        }
    }
    return 0;
}

// The rows in a text column's order, each text turned into a sort key once.
void sortByTextKeys(std::vector<const DeviceRecord*>& rows, const DeviceOrder& sort, const TextOrder& text) {
    struct Keyed {
        const DeviceRecord* record;
        std::optional<std::string> key;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(rows.size());
    for (const DeviceRecord* row : rows) {
        auto value = sort.text(*row);
        keyed.push_back({row, value ? std::optional(text.sortKey(*value)) : std::nullopt});
    }
    // The same rules as DeviceOrder::compare: the column, then never reversed, the
    // earlier first sighting and the id.
    std::stable_sort(keyed.begin(), keyed.end(), [&sort, &text](const Keyed& a, const Keyed& b) {
        int result = presentFirst(a.key, b.key, [](const std::string& x, const std::string& y) { return x.compare(y); });
        if (result != 0) return sort.order == SortDirection::forward ? result < 0 : result > 0;
        if (a.record->firstSeen != b.record->firstSeen) return a.record->firstSeen < b.record->firstSeen;
        return text.compare(a.record->id, b.record->id) < 0;  // rare: same text, same moment
    });
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = keyed[i].record;
}

}  // namespace

std::optional<std::string> DeviceOrder::text(const DeviceRecord& record) const {
    switch (field) {
        case Field::name: return record.displayName();
        case Field::maker: return record.identity.maker;
        case Field::kind: return kindText(record);
        case Field::source: return std::string(rawValue(record.source));
        default: return std::nullopt;
    }
}

int DeviceOrder::compare(const DeviceRecord& a, const DeviceRecord& b, const TextOrder& text) const {
    int result = compareField(field, a, b, text);
    if (result != 0) return order == SortDirection::forward ? result : -result;
    if (a.firstSeen != b.firstSeen) return a.firstSeen < b.firstSeen ? -1 : 1;
    return text.compare(a.id, b.id);
}

void DisplayOrder::update(const DeviceTable& table, const std::optional<DeviceOrder>& sort, bool resort,
                          const TextOrder& text) {
    if (!sort) {
        keys = table.order();
        return;
    }
    if (!sort->isSnapshot() || resort) {
        std::vector<const DeviceRecord*> rows;
        rows.reserve(table.order().size());
        for (const auto& key : table.order())
            if (const auto* record = table.record(key)) rows.push_back(record);
        if (sort->isText()) {
            sortByTextKeys(rows, *sort, text);
        } else {
            std::stable_sort(rows.begin(), rows.end(), [&](const DeviceRecord* a, const DeviceRecord* b) {
                return sort->compare(*a, *b, text) < 0;
            });
        }
        keys.clear();
        for (const auto* record : rows) keys.push_back(record->id);
        return;
    }
    std::erase_if(keys, [&table](const std::string& key) { return table.record(key) == nullptr; });
    std::unordered_set<std::string_view> shown(keys.begin(), keys.end());
    std::vector<std::string> added;  // appended afterwards: `shown` views into `keys`
    for (const auto& key : table.order())
        if (!shown.contains(key)) added.push_back(key);
    keys.insert(keys.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
}

}  // namespace quillmote
