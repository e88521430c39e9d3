#include "ui/find_view.h"

#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/signal/proximity.h"
#include "ui/dbm_text.h"
#include "ui/device_text.h"
#include "ui/meter.h"
#include "ui/signal_colours.h"

namespace quillmote {

namespace {

// Sizes in pixels, matching the desktop's usual title and display sizes.
constexpr int titlePixels = 17;
constexpr int subtitlePixels = 15;
constexpr int numberPixels = 72;
// What a button adds around its text.
constexpr int buttonChrome = 24;

QFont sized(QFont font, int pixels, bool bold = false) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* plainLabel(QWidget* parent, const QString& name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A button reads "&" as the start of a keyboard shortcut.
QString buttonText(QString text) { return text.replace(QLatin1Char('&'), QLatin1String("&&")); }

struct TrendLook {
    QString arrow;
    QColor colour;
};

TrendLook trendLook(TrendDirection trend, const QPalette& palette) {
    switch (trend) {
        case TrendDirection::warmer: return {QStringLiteral("↑"), SignalColours::orange()};
        case TrendDirection::colder: return {QStringLiteral("↓"), SignalColours::blue()};
        case TrendDirection::steady: break;
    }
    return {QStringLiteral("↔"), SignalColours::secondary(palette)};
}

}  // namespace

FindView::FindView(QWidget* parent) : QWidget(parent) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(padding, padding, padding, padding);
    stack->setSpacing(18);

    title_ = plainLabel(this, QStringLiteral("title"));
    title_->setFont(sized(font(), titlePixels, true));
    title_->setAlignment(Qt::AlignCenter);
    stack->addWidget(title_);

    reading_ = new QWidget(this);
    reading_->setObjectName(QStringLiteral("reading"));
    auto* readingRow = new QHBoxLayout(reading_);
    readingRow->setContentsMargins(0, 0, 0, 0);
    readingRow->setSpacing(6);
    number_ = new DBMText(reading_);
    number_->setObjectName(QStringLiteral("number"));
    number_->setFont(sized(font(), numberPixels, true));
    auto* unit = plainLabel(reading_, QStringLiteral("unit"));
    unit->setText(QStringLiteral("dBm"));
    unit->setFont(sized(font(), subtitlePixels));
    setColour(unit, SignalColours::secondary(palette()));
    // Both sit on the bottom edge; lifting the unit by the difference in descent
    // puts the two texts on one baseline.
    const int lift = number_->fontMetrics().descent() - unit->fontMetrics().descent();
    unit->setContentsMargins(0, 0, 0, std::max(0, lift));
    readingRow->addStretch();
    readingRow->addWidget(number_, 0, Qt::AlignBottom);
    readingRow->addWidget(unit, 0, Qt::AlignBottom);
    readingRow->addStretch();
    reading_->setGraphicsEffect(new QGraphicsOpacityEffect(reading_));
    stack->addWidget(reading_);

    meter_ = new Meter(this);
    meter_->setObjectName(QStringLiteral("meter"));
    stack->addWidget(meter_);

    auto* trendRow = new QHBoxLayout;
    trendRow->setSpacing(20);
    auto* trendLabel = new QHBoxLayout;
    trendLabel->setSpacing(4);
    trendIcon_ = plainLabel(this, QStringLiteral("trendIcon"));
    trend_ = plainLabel(this, QStringLiteral("trend"));
    proximity_ = plainLabel(this, QStringLiteral("proximity"));
    for (QLabel* label : {trendIcon_, trend_, proximity_}) label->setFont(sized(font(), subtitlePixels));
    trendLabel->addWidget(trendIcon_);
    trendLabel->addWidget(trend_);
    trendRow->addStretch();
    trendRow->addLayout(trendLabel);
    trendRow->addWidget(proximity_);
    trendRow->addStretch();
    stack->addLayout(trendRow);

    status_ = plainLabel(this, QStringLiteral("status"));
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    stack->addWidget(status_);

    candidates_ = new QWidget(this);
    candidates_->setObjectName(QStringLiteral("candidates"));
    candidateList_ = new QVBoxLayout(candidates_);
    candidateList_->setContentsMargins(0, 0, 0, 0);
    candidateList_->setSpacing(6);
    auto* question = plainLabel(candidates_, QStringLiteral("question"));
    question->setWordWrap(true);
    question->setText(QStringLiteral(
        "It changed its privacy address and several similar devices appeared. Which one is it?"));
    candidateList_->addWidget(question);
    candidates_->hide();
    stack->addWidget(candidates_);

    auto* controls = new QHBoxLayout;
    clicks_ = new QCheckBox(QStringLiteral("Clicks"), this);
    clicks_->setObjectName(QStringLiteral("clicks"));
    done_ = new QPushButton(QStringLiteral("Done"), this);
    done_->setObjectName(QStringLiteral("done"));
    // Enter must not end a search by accident; Escape does that on purpose.
    done_->setAutoDefault(false);
    controls->addWidget(clicks_);
    controls->addStretch();
    controls->addWidget(done_);
    stack->addLayout(controls);

    connect(clicks_, &QCheckBox::toggled, this, &FindView::clicksToggled);
    connect(done_, &QPushButton::clicked, this, &FindView::doneClicked);
}

QString FindView::candidateLabel(const std::string& key, const DeviceRecord* record) {
    QString label = record ? plainText(record->displayName()) : plainText(key);
    label += QStringLiteral(" · ");
    const std::optional<double> rssi = record ? record->rssi() : std::nullopt;
    // Nothing a radio reports comes near the bound; past it the conversion would overflow.
    if (rssi && std::isfinite(*rssi) && std::abs(*rssi) < 1e6) {
        const auto whole = static_cast<long long>(std::trunc(*rssi));
        label += signalNumber(whole) + QStringLiteral(" dBm");
    } else {
        label += QStringLiteral("—");
    }
    return label;
}

void FindView::showSession(const FindSession& session, const RecordLookup& lookup) {
    const DeviceRecord* target = lookup(session.targetKey());
    const QString title =
        QStringLiteral("Finding ") + (target ? plainText(target->displayName()) : QStringLiteral("device"));
    // A radio may send a name too long for the sheet, with nowhere to wrap it.
    title_->setText(title_->fontMetrics().elidedText(title, Qt::ElideRight, textRoom()));
    title_->setToolTip(title_->text() == title ? QString() : literalToolTip(title));

    const bool hearing = session.isHearingTarget();
    std::optional<double> heard = hearing ? session.rssi() : std::nullopt;
    if (heard && !std::isfinite(*heard)) heard.reset();
    number_->setRssi(heard);
    static_cast<QGraphicsOpacityEffect*>(reading_->graphicsEffect())->setOpacity(hearing ? 1.0 : quietOpacity);
    meter_->setRssi(heard);

    showTrend(session.trend());
    proximity_->setVisible(heard.has_value());
    if (heard) proximity_->setText(QString::fromUtf8(rawValue(bucket(*heard))));

    showStatus(session.status(), lookup);
}

void FindView::setClicksEnabled(bool enabled) {
    const QSignalBlocker quiet(clicks_);
    clicks_->setChecked(enabled);
}

void FindView::showTrend(TrendDirection trend) {
    const TrendLook look = trendLook(trend, palette());
    trendIcon_->setText(look.arrow);
    trend_->setText(QString::fromUtf8(rawValue(trend)));
    setColour(trendIcon_, look.colour);
    setColour(trend_, look.colour);
}

void FindView::showStatus(const FindSession::Status& status, const RecordLookup& lookup) {
    using Kind = FindSession::Status::Kind;
    const bool choosing = status.kind == Kind::ambiguous;
    status_->setVisible(!choosing);
    candidates_->setVisible(choosing);
    if (choosing) {
        showCandidates(status.candidates, lookup);
        return;
    }
    switch (status.kind) {
        case Kind::tracking:
            status_->setText(QStringLiteral("Walk around slowly. The number rises as you get closer."));
            setColour(status_, SignalColours::secondary(palette()));
            break;
        case Kind::reacquired:
            status_->setText(
                QStringLiteral("Re-acquired: the device changed its privacy address and was picked up again."));
            setColour(status_, SignalColours::secondary(palette()));
            break;
        case Kind::searching:
            status_->setText(QStringLiteral("Lost the signal for a moment. Still listening…"));
            setColour(status_, SignalColours::orange());
            break;
        case Kind::lost:
            status_->setText(QStringLiteral(
                "Lost the signal. The device may be out of range, switched off, or in a pocket behind a wall."));
            setColour(status_, SignalColours::red());
            break;
        case Kind::ambiguous: break;
    }
}

void FindView::showCandidates(const std::vector<std::string>& keys, const RecordLookup& lookup) {
    // Buttons are reused from tick to tick, so a click in progress is never lost
    // to a rebuild.
    while (candidateButtons_.size() < keys.size()) {
        const std::size_t index = candidateButtons_.size();
        auto* button = new QPushButton(candidates_);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, index] {
            if (index < candidateKeys_.size()) emit candidateChosen(candidateKeys_[index]);
        });
        candidateList_->addWidget(button, 0, Qt::AlignLeft);
        candidateButtons_.push_back(button);
    }
    while (candidateButtons_.size() > keys.size()) {
        // Later, not now: the surplus button may be the one whose click got us here.
        candidateButtons_.back()->hide();
        candidateButtons_.back()->deleteLater();
        candidateButtons_.pop_back();
    }
    candidateKeys_ = keys;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        QPushButton* button = candidateButtons_[i];
        const QString label = candidateLabel(keys[i], lookup(keys[i]));
        // Cut from the middle, so both the name's start and the reading stay.
        const QString fitted = button->fontMetrics().elidedText(label, Qt::ElideMiddle, textRoom() - buttonChrome);
        button->setText(buttonText(fitted));
        button->setToolTip(fitted == label ? QString() : literalToolTip(label));
    }
}

int FindView::textRoom() const { return std::max(0, width() - 2 * padding); }

void FindView::setColour(QLabel* label, const QColor& colour) {
    if (label->palette().color(QPalette::WindowText) == colour) return;
    QPalette tinted = label->palette();
    tinted.setColor(QPalette::WindowText, colour);
    label->setPalette(tinted);
}

}  // namespace quillmote
