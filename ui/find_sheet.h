#pragma once

#include <QDialog>

#include "app/device_store.h"

namespace quillmote {

class FindView;

// The find view as a sheet over the main window, 440 wide. It follows the store's
// find session on every tick; "Done" or Escape ends the session and silences the
// clicks at once. When the session ends any other way, the sheet closes itself.
// It deletes itself once closed.
class FindSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int sheetWidth = 440;

    explicit FindSheet(DeviceStore& store, QWidget* parent = nullptr);

    // "Done", Escape and the window's close button all end up here.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    DeviceStore& store_;
    FindView* view_;
    bool closing_ = false;

    void follow();
    void closeWithoutEnding();
    void fitHeight();
};

}  // namespace quillmote
