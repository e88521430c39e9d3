#include "ui/find_sheet.h"

#include <QLayout>
#include <QVBoxLayout>

#include "ui/find_view.h"

namespace quillmote {

FindSheet::FindSheet(DeviceStore& store, QWidget* parent) : QDialog(parent), store_(store) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Find this device"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new FindView(this);
    layout->addWidget(view_);
    setFixedWidth(sheetWidth);
    // Laid out now, so the first session shown already knows its width.
    layout->activate();

    view_->setClicksEnabled(store_.clicksEnabled());
    connect(view_, &FindView::clicksToggled, &store_, &DeviceStore::setClicksEnabled);
    connect(&store_, &DeviceStore::clicksEnabledChanged, this,
            [this] { view_->setClicksEnabled(store_.clicksEnabled()); });
    connect(view_, &FindView::candidateChosen, this,
            [this](const std::string& key) { store_.chooseFindCandidate(key); });
    connect(view_, &FindView::doneClicked, this, &FindSheet::reject);

    connect(&store_, &DeviceStore::findSessionChanged, this, &FindSheet::follow);
    // The rows the view names are refreshed once a second.
    connect(&store_, &DeviceStore::devicesChanged, this, &FindSheet::follow);
    follow();
}

void FindSheet::reject() {
    if (!closing_) {
        closing_ = true;
        store_.endFinding();
    }
    QDialog::reject();
}

void FindSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Opened after the search already ended: nothing to show.
    if (!store_.findSession()) QMetaObject::invokeMethod(this, &FindSheet::closeWithoutEnding, Qt::QueuedConnection);
}

void FindSheet::follow() {
    if (closing_) return;
    const std::optional<FindSession>& session = store_.findSession();
    if (!session) {
        if (isVisible()) closeWithoutEnding();
        return;
    }
    const auto& rows = store_.devices();
    view_->showSession(*session, [&rows](const std::string& key) -> const DeviceRecord* {
        for (const DeviceRecord& row : rows)
            if (row.id == key) return &row;
        return nullptr;
    });
    fitHeight();
}

void FindSheet::closeWithoutEnding() {
    if (closing_) return;
    closing_ = true;
    QDialog::reject();
}

void FindSheet::fitHeight() {
    // Word-wrapped texts and the candidate buttons change the height the fixed
    // width needs.
    const int wanted = layout()->totalHeightForWidth(sheetWidth);
    const int height = wanted > 0 ? wanted : sizeHint().height();
    if (minimumHeight() != height || maximumHeight() != height) setFixedHeight(height);
}

}  // namespace quillmote
