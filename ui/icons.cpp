#include "ui/icons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <algorithm>

namespace quillmote {

namespace {

// Enough sizes that the list (16), toolbars (20–24), the detail header (28), the
// empty panels (40) and twice those on a high-density screen pick an exact one.
constexpr int drawnSizes[] = {16, 20, 24, 28, 32, 40, 48, 56, 64, 80};

QPixmap drawn(const QByteArray& svg, const QColor& colour, int size) {
    // The drawings stroke with "currentColor", which QtSvg does not know.
    QByteArray tinted = svg;
    tinted.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(tinted);
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setOpacity(colour.alphaF());
    renderer.render(&painter);
    return pixmap;
}

}  // namespace

QIcon bundledIcon(const QString& name, const QPalette& palette, QPalette::ColorRole role) {
    QFile file(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray svg = file.readAll();
    QIcon icon;
    for (int size : drawnSizes) {
        icon.addPixmap(drawn(svg, palette.color(QPalette::Active, role), size), QIcon::Normal);
        icon.addPixmap(drawn(svg, palette.color(QPalette::Active, QPalette::HighlightedText), size), QIcon::Selected);
        icon.addPixmap(drawn(svg, palette.color(QPalette::Disabled, role), size), QIcon::Disabled);
    }
    return icon;
}

std::string_view kindSymbol(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::phone: return "smartphone";
        case DeviceKind::computer: return "laptop";
        case DeviceKind::tablet: return "tablet";
        case DeviceKind::earbuds: return "headphones";
        case DeviceKind::speaker: return "speaker";
        case DeviceKind::watch: return "watch";
        case DeviceKind::tracker: return "tag";
        case DeviceKind::beacon: return "radio";
        case DeviceKind::tv: return "tv";
        case DeviceKind::input: return "keyboard";
        case DeviceKind::health: return "heart-pulse";
        case DeviceKind::printer: return "printer";
        case DeviceKind::smartHome: return "house";
        case DeviceKind::appleDevice: return "apple";
        case DeviceKind::unknown: return "circle-help";
    }
    return "circle-help";
}

const QIcon& KindIcons::icon(DeviceKind kind, const QPalette& palette) {
    const std::array<QRgb, 3> colours{palette.color(QPalette::Active, QPalette::Text).rgba(),
                                      palette.color(QPalette::Active, QPalette::HighlightedText).rgba(),
                                      palette.color(QPalette::Disabled, QPalette::Text).rgba()};
    if (colours != colours_) {
        colours_ = colours;
        icons_.fill(QIcon());
    }
    const auto slot = static_cast<std::size_t>(std::find(allDeviceKinds.begin(), allDeviceKinds.end(), kind) -
                                               allDeviceKinds.begin());
    QIcon& icon = icons_.at(slot);
    if (icon.isNull()) icon = bundledIcon(QString::fromLatin1(kindSymbol(kind)), palette);
    return icon;
}

}  // namespace quillmote
