#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/table/device_record.h"
#include "core/time/text_order.h"

namespace quillmote {

class DeviceTable;

enum class SortDirection { forward, reverse };

// A column of the device list and its direction, with every tie-break.
struct DeviceOrder {
    enum class Field { signal, distance, rate, name, maker, kind, source };

    Field field = Field::name;
    SortDirection order = SortDirection::forward;

    // Columns whose values move all the time are sorted once, on request.
    bool isSnapshot() const {
        return field == Field::signal || field == Field::distance || field == Field::rate;
    }

    // Columns of text, sorted by the user's text order; the others hold numbers.
    bool isText() const {
        return field == Field::name || field == Field::maker || field == Field::kind || field == Field::source;
    }
    // A text column's value for the row; nothing when the row has none (it then sorts last
    // going forward).
    std::optional<std::string> text(const DeviceRecord& record) const;

    // Negative when a comes first. Rows without a value come last going forward;
    // ties fall back, never reversed, to the earlier first sighting, then the id.
    int compare(const DeviceRecord& a, const DeviceRecord& b, const TextOrder& text) const;

    friend bool operator==(const DeviceOrder&, const DeviceOrder&) = default;
};

// The row keys the views draw, in order.
struct DisplayOrder {
    std::vector<std::string> keys;

    // Without a sort: creation order. A stable column, or `resort`: sorted afresh.
    // A snapshot column: rows stay put, new rows join at the bottom, removed ones drop out.
    void update(const DeviceTable& table, const std::optional<DeviceOrder>& sort, bool resort,
                const TextOrder& text);
};

}  // namespace quillmote
