#include "ui/elided_label.h"

#include <QEvent>
#include <QResizeEvent>
#include <algorithm>

#include "ui/device_text.h"

namespace quillmote {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setWordWrap(false);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == full_) return;
    full_ = text;
    updateGeometry();
    elide();
}

QSize ElidedLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    const QFontMetrics metrics = fontMetrics();
    const int width = std::max(metrics.horizontalAdvance(full_), metrics.boundingRect(full_).width());
    return {width + margins.left() + margins.right() + 2 * margin(),
            metrics.height() + margins.top() + margins.bottom() + 2 * margin()};
}

QSize ElidedLabel::minimumSizeHint() const { return {0, sizeHint().height()}; }

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        elide();
    }
}

void ElidedLabel::elide() {
    const int room = std::max(0, contentsRect().width() - 2 * margin());
    // Measured as sizeHint measures, so the hinted width always shows the whole text.
    const QString shown = sizeHint().width() <= width() ? full_ : fontMetrics().elidedText(full_, Qt::ElideRight, room);
    if (text() != shown) setText(shown);
    setToolTip(shown == full_ ? QString() : literalToolTip(full_));
}

}  // namespace quillmote
