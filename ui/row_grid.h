#pragma once

#include <QString>
#include <QWidget>
#include <vector>

class QGridLayout;
class QLabel;

namespace quillmote {

// One row of facts: a quiet label and its value.
struct LabelledRow {
    QString label;
    QString value;
    friend bool operator==(const LabelledRow&, const LabelledRow&) = default;
};

// A two-column grid of labelled values. Rows are updated in place, so a value the
// user is selecting or reading does not blink away when the same text arrives again.
class RowGrid : public QWidget {
    Q_OBJECT

public:
    struct Style {
        int labelWidth = 0;  // 0: as wide as the widest label
        int columnSpacing = 12;
        int rowSpacing = 6;
        bool monospacedValues = false;
    };

    explicit RowGrid(Style style, QWidget* parent = nullptr);

    void setRows(const std::vector<LabelledRow>& rows);
    const std::vector<LabelledRow>& rows() const { return rows_; }
    // The value's label of row `index`, for tests and accessibility.
    QLabel* valueLabel(std::size_t index) const;

private:
    struct Cells {
        QLabel* label;
        QLabel* value;
    };

    Style style_;
    QGridLayout* grid_;
    std::vector<Cells> cells_;
    std::vector<LabelledRow> rows_;

    Cells makeCells(int row);
};

}  // namespace quillmote
