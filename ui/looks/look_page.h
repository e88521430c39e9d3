#pragma once

#include <QScrollArea>

#include "app/device_store.h"
#include "core/looks/look.h"
#include "ui/looks/look_layout.h"

namespace quillmote {

class LookCanvas;

// A typographic look of the device list: what the store publishes, drawn as type on
// the look's own ground. A click selects a row, a double click or "Find this
// device" starts finding it.
class LookPage : public QScrollArea {
    Q_OBJECT

public:
    LookPage(DeviceStore& store, LookFonts& fonts, QWidget* parent = nullptr);

    Look look() const { return look_; }
    void setLook(Look look);
    void refresh();

    const LookLayout& layout() const;
    QWidget* canvas() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    DeviceStore& store_;
    LookFonts& fonts_;
    Look look_ = Look::standard;
    LookCanvas* canvas_;
};

}  // namespace quillmote
