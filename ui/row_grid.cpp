#include "ui/row_grid.h"

#include <QGridLayout>
#include <QLabel>

#include "ui/text_styles.h"

namespace quillmote {

RowGrid::RowGrid(Style style, QWidget* parent) : QWidget(parent), style_(style), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(style.columnSpacing);
    grid_->setVerticalSpacing(style.rowSpacing);
    grid_->setColumnStretch(1, 1);
}

RowGrid::Cells RowGrid::makeCells(int row) {
    Cells cells{textLabel({}, this), textLabel({}, this)};
    makeSecondary(*cells.label);
    if (style_.labelWidth > 0) cells.label->setFixedWidth(style_.labelWidth);
    // Labels are ours; values may be long hex strings or names that need wrapping.
    cells.label->setWordWrap(style_.labelWidth > 0);
    if (style_.monospacedValues) cells.value->setFont(monospacedFont(calloutFont(font())));
    grid_->addWidget(cells.label, row, 0, Qt::AlignLeft | Qt::AlignTop);
    grid_->addWidget(cells.value, row, 1, Qt::AlignTop);
    return cells;
}

void RowGrid::setRows(const std::vector<LabelledRow>& rows) {
    if (rows == rows_) return;
    while (cells_.size() > rows.size()) {
        delete cells_.back().label;
        delete cells_.back().value;
        cells_.pop_back();
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i == cells_.size()) cells_.push_back(makeCells(static_cast<int>(i)));
        // Only texts that changed are set: an unchanged value keeps its selection.
        if (cells_[i].label->text() != rows[i].label) cells_[i].label->setText(rows[i].label);
        if (cells_[i].value->text() != rows[i].value) cells_[i].value->setText(rows[i].value);
    }
    rows_ = rows;
}

QLabel* RowGrid::valueLabel(std::size_t index) const {
    return index < cells_.size() ? cells_[index].value : nullptr;
}

}  // namespace quillmote
