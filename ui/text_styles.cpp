#include "ui/text_styles.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace quillmote {

QColor secondaryColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.6f);
    return color;
}

void makeSecondary(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, secondaryColor(palette));
    palette.setColor(QPalette::Text, secondaryColor(palette));
    widget.setPalette(palette);
}

namespace {

QFont scaled(const QFont& base, double factor) {
    QFont font = base;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF() * factor);
    else
        font.setPixelSize(std::max(1, static_cast<int>(base.pixelSize() * factor + 0.5)));
    return font;
}

}  // namespace

QFont headlineFont(const QFont& base) {
    QFont font = base;
    font.setBold(true);
    return font;
}

QFont captionFont(const QFont& base) { return scaled(base, 0.85); }

QFont calloutFont(const QFont& base) { return scaled(base, 0.95); }

QFont titleFont(const QFont& base) {
    QFont font = scaled(base, 1.55);
    font.setBold(true);
    return font;
}

QFont monospacedFont(const QFont& base) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF());
    else
        font.setPixelSize(base.pixelSize());
    return font;
}

QLabel* textLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QVBoxLayout* titledColumn(QWidget* owner, const QString& title, int spacing) {
    auto* heading = new QLabel(title, owner);
    heading->setTextFormat(Qt::PlainText);
    heading->setFont(headlineFont(heading->font()));
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->addWidget(heading);
    return layout;
}

}  // namespace quillmote
