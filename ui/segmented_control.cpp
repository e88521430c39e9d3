#include "ui/segmented_control.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPalette>
#include <QSignalBlocker>
#include <QToolButton>

namespace quillmote {

SegmentedControl::SegmentedControl(const QStringList& titles, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), titles_(titles), group_(new QButtonGroup(this)) {
    setAccessibleName(accessibleName);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < titles.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(titles[i]);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        // The chosen segment in the accent colour: a pressed-in button barely shows on
        // a dark window.
        connect(button, &QToolButton::toggled, button, [button](bool checked) {
            if (!checked) return button->setPalette(QPalette());
            QPalette accent;
            accent.setColor(QPalette::Button, button->palette().color(QPalette::Highlight));
            accent.setColor(QPalette::ButtonText, button->palette().color(QPalette::HighlightedText));
            button->setPalette(accent);
        });
        group_->addButton(button, i);
        layout->addWidget(button);
    }
    group_->setExclusive(true);
    if (!titles.isEmpty()) group_->button(0)->setChecked(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::chosen);
}

int SegmentedControl::current() const { return group_->checkedId(); }

void SegmentedControl::setCurrent(int index) {
    if (auto* button = group_->button(index)) {
        const QSignalBlocker blocker(group_);
        button->setChecked(true);
    }
}

}  // namespace quillmote
