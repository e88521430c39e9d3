#include "ui/device_list_delegate.h"

#include <QApplication>
#include <QPainter>

#include "core/signal/signal_bars.h"
#include "ui/device_list_model.h"
#include "ui/signal_views.h"

namespace quillmote {

namespace {

const DeviceRecord& recordAt(const QModelIndex& index) {
    return *static_cast<const DeviceRecord*>(index.data(DeviceListModel::recordRole).value<const void*>());
}

QFont captionFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

}  // namespace

QString DeviceListDelegate::identityChangesText(int changes) {
    return QStringLiteral("changed ID ") + QString::number(changes) + QStringLiteral("×");
}

void DeviceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    if (index.data(DeviceListModel::fadedRole).toBool()) painter->setOpacity(fadedOpacity);
    switch (index.column()) {
        case DeviceListModel::signal: paintSignal(painter, option, index); break;
        case DeviceListModel::name: paintName(painter, option, index); break;
        default: QStyledItemDelegate::paint(painter, option, index); break;
    }
    painter->restore();
}

void DeviceListDelegate::paintSignal(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString number = item.text;
    item.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    // Bars, 8 apart from the number, which sits right-aligned in a 30-wide box.
    const QRect area = option.rect.adjusted(4, 0, -4, 0);
    const QSize bars = SignalBarsView::barsSize(barWidth, barHeight);
    const int numberWidth = 30;
    const int total = bars.width() + 8 + numberWidth;
    const int left = area.left() + std::max(0, (area.width() - total) / 2);
    const QRectF barsArea(left, area.center().y() - bars.height() / 2.0, bars.width(), bars.height());
    const int lit = SignalBars::count(recordAt(index).rssi());
    const bool selected = option.state & QStyle::State_Selected;
    SignalBarsView::paintBars(*painter, barsArea, lit, barWidth, barHeight, option.palette, selected);

    painter->setFont(item.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(QRect(left + bars.width() + 8, area.top(), numberWidth, area.height()),
                      Qt::AlignRight | Qt::AlignVCenter, number);
}

void DeviceListDelegate::paintName(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const int changes = index.data(DeviceListModel::identityChangesRole).toInt();
    if (changes < 1) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The name first, elided to leave room for the note 6 apart after it.
    const QString note = identityChangesText(changes);
    const QFont noteFont = captionFont(option.font);
    const int noteWidth = QFontMetrics(noteFont).horizontalAdvance(note) + 6;
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const int nameWidth = QFontMetrics(item.font).horizontalAdvance(item.text);
    const int room = std::max(0, textRect.width() - noteWidth);
    item.text = QFontMetrics(item.font).elidedText(item.text, Qt::ElideRight, room);
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    const bool selected = option.state & QStyle::State_Selected;
    painter->setFont(noteFont);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    const int noteLeft = textRect.left() + std::min(nameWidth, room) + 6;
    painter->drawText(QRect(noteLeft, textRect.top(), noteWidth, textRect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      note);
}

QSize DeviceListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), 24));
    return size;
}

}  // namespace quillmote
