#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "app/device_store.h"

namespace quillmote {

class RawDataView;

// Everything known about the selected device: identity, find button, and the
// "Summary" and "Raw data" tabs. Rebuilt from the record on every publish.
class DeviceDetailView : public QWidget {
    Q_OBJECT

public:
    enum class Tab { summary, raw };

    explicit DeviceDetailView(DeviceStore& store, QWidget* parent = nullptr);

    // Shows the record as last published. The chosen tab is kept while the key
    // stays the same; another device starts on "Summary".
    void showRecord(const DeviceRecord& record);
    Tab tab() const;
    void setTab(Tab tab);

private:
    DeviceStore& store_;
    std::optional<std::string> key_;
    // …widgets are the implementation's
};

}  // namespace quillmote
