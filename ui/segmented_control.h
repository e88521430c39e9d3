#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;

namespace quillmote {

// A row of joined buttons of which exactly one is chosen, for small fixed choices
// ("Today" / "Last 30 days").
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    SegmentedControl(const QStringList& titles, const QString& accessibleName, QWidget* parent = nullptr);

    int current() const;
    // Chooses without emitting `chosen`.
    void setCurrent(int index);
    QStringList titles() const { return titles_; }

signals:
    void chosen(int index);

private:
    QStringList titles_;
    QButtonGroup* group_;
};

}  // namespace quillmote
