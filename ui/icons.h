#pragma once

#include <QIcon>
#include <QPalette>
#include <QString>
#include <array>
#include <string_view>

#include "core/identity/device_kind.h"

namespace quillmote {

// Icons drawn from the line drawings bundled with the program, so they look the
// same whatever the desktop's icon theme. A drawing takes the palette's colour for
// `role`, and the highlighted-text colour when its row is selected, so it stays
// visible on a selection and on a dark theme. `name` is a file of data/icons.
QIcon bundledIcon(const QString& name, const QPalette& palette, QPalette::ColorRole role = QPalette::Text);

// The bundled drawing each kind is shown with, one per kind.
std::string_view kindSymbol(DeviceKind kind);

// One icon per kind, drawn the first time it is asked for and kept while the
// palette's colours stay the same: item views ask for it on every repaint.
class KindIcons {
public:
    const QIcon& icon(DeviceKind kind, const QPalette& palette);

private:
    std::array<QRgb, 3> colours_{};
    std::array<QIcon, allDeviceKinds.size()> icons_;
};

}  // namespace quillmote
