#include "ui/looks/look_page.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>
#include <map>

#include "ui/icons.h"

namespace quillmote {

namespace {

// Filling large glyph outlines is most of what a redraw costs, so each shaped line
// is kept as pixels in the colour it was drawn in, up to a bound.
class LineSprites {
public:
    void draw(QPainter& painter, const LookLayout::Piece& piece, qreal ratio) {
        if (ratio != ratio_ || bytes_ > bytesKept) {
            sprites_.clear();
            bytes_ = 0;
            ratio_ = ratio;
        }
        auto found = sprites_.find({piece.line, piece.colour.rgba()});
        if (found == sprites_.end()) found = sprites_.emplace(std::pair(piece.line, piece.colour.rgba()), render(piece)).first;
        const Sprite& sprite = found->second;
        // Whole pixels, so the kept pixels land as a fresh fill would.
        const QPointF at(std::round(piece.at.x()), std::round(piece.at.y()));
        painter.drawImage(at + sprite.offset, sprite.image);
    }

private:
    struct Sprite {
        QImage image;
        QPoint offset;  // of the image's corner from the line's origin
    };
    static constexpr qsizetype bytesKept = 48 << 20;

    std::map<std::pair<std::uint64_t, QRgb>, Sprite> sprites_;
    qsizetype bytes_ = 0;
    qreal ratio_ = 1;

    Sprite render(const LookLayout::Piece& piece) {
        const QRect area = piece.path.boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1);
        QImage image(area.size() * ratio_, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio_);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(-area.topLeft());
        painter.fillPath(piece.path, piece.colour);
        painter.end();
        bytes_ += image.sizeInBytes();
        return {std::move(image), area.topLeft()};
    }
};

}  // namespace

// Fills the layout's outlines; only what the repaint needs.
class LookCanvas : public QWidget {
public:
    LookCanvas(DeviceStore& store, QWidget* parent) : QWidget(parent), store_(store) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setContextMenuPolicy(Qt::DefaultContextMenu);
    }

    LookLayout layout;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(event->rect(), layout.background);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QRectF visible = event->rect();
        for (const auto& piece : layout.pieces) {
            if (!piece.bounds.intersects(visible)) continue;
            if (piece.line != 0) {
                sprites_.draw(painter, piece, devicePixelRatioF());
                continue;
            }
            painter.save();
            painter.translate(piece.at);
            painter.fillPath(piece.path, piece.colour);
            painter.restore();
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
        if (auto key = layout.keyAt(event->position())) store_.setSelectedKey(*key);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (auto key = layout.keyAt(event->position())) store_.startFinding(*key);
    }

    void contextMenuEvent(QContextMenuEvent* event) override {
        const auto key = layout.keyAt(event->pos());
        if (!key) return;
        store_.setSelectedKey(*key);
        QMenu menu(this);
        menu.addAction(bundledIcon(QStringLiteral("crosshair"), menu.palette()), QStringLiteral("Find this device"), this,
                       [this, key] { store_.startFinding(*key); });
        menu.exec(event->globalPos());
    }

private:
    DeviceStore& store_;
    LineSprites sprites_;
};

LookPage::LookPage(DeviceStore& store, LookFonts& fonts, QWidget* parent)
    : QScrollArea(parent), store_(store), fonts_(fonts), canvas_(new LookCanvas(store, this)) {
    setObjectName(QStringLiteral("look"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    setWidget(canvas_);
    verticalScrollBar()->setSingleStep(24);
}

const LookLayout& LookPage::layout() const { return canvas_->layout; }

QWidget* LookPage::canvas() const { return canvas_; }

void LookPage::setLook(Look look) {
    if (look == look_) return;
    look_ = look;
    setAccessibleName(QString::fromUtf8(rawValue(look)) + QStringLiteral(" look"));
    verticalScrollBar()->setValue(0);
    refresh();
}

void LookPage::refresh() {
    if (look_ == Look::standard) return;
    const auto visible = store_.visibleDevices();
    const LookContent content = lookContent(visible, store_.record(store_.selectedKey()), store_.activity().aroundNow());
    const double width = viewport()->width();
    canvas_->layout = layoutLook(look_, {content, store_.selectedKey(), store_.publishedAt()}, width, fonts_);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, canvas_->layout.background);
    viewport()->setPalette(palette);
    canvas_->resize(static_cast<int>(width), std::max(static_cast<int>(std::ceil(canvas_->layout.height)), viewport()->height()));
    canvas_->update();
}

void LookPage::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    refresh();
}

}  // namespace quillmote
