#pragma once

#include <QStyledItemDelegate>

namespace quillmote {

// Draws silent rows faded, the signal column as bars beside the number, and the
// name column with its "changed ID" note.
class DeviceListDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr double fadedOpacity = 0.4;
    static constexpr double barWidth = 3;
    static constexpr double barHeight = 12;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The caption after a folded row's name: "changed ID 2×".
    static QString identityChangesText(int changes);

private:
    void paintSignal(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintName(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

}  // namespace quillmote
