#pragma once

#include <QDialog>

#include "app/device_store.h"

namespace quillmote {

// The find view as a sheet over the main window, 440 wide. It follows the store's
// find session on every tick; "Done" or Escape ends the session and silences the
// clicks at once.
class FindSheet : public QDialog {
    Q_OBJECT

public:
    explicit FindSheet(DeviceStore& store, QWidget* parent = nullptr);

private:
    DeviceStore& store_;
    // …widgets are the implementation's
};

}  // namespace quillmote
