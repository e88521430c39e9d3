#include "ui/device_detail_view.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "core/time/elapsed_text.h"
#include "ui/device_text.h"
#include "ui/elided_label.h"
#include "ui/icons.h"
#include "ui/raw_data_view.h"
#include "ui/signal_views.h"
#include "ui/text_styles.h"

namespace quillmote {

namespace {

// Between the kind's symbol and the names, and between the identity and the find
// button, whether side by side or stacked.
constexpr int headerSpacing = 10;

Instant wallClock() { return std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now()); }

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString distanceText(const DeviceRecord& record) {
    const std::optional<DistanceEstimate::Estimate> estimate = record.distance();
    if (!estimate)
        return QStringLiteral("This device doesn't announce its transmit power, so metres can't be estimated.");
    return QString::fromStdString(estimate->label()) + QStringLiteral(": ") +
           (estimate->isCalibrated
                ? QStringLiteral("Rough range from the beacon's calibrated 1-metre strength; walls and bodies still "
                                 "change it.")
                : QStringLiteral("Unreliable: based on the transmit power the device claims, which is often wrong "
                                 "(many devices claim the same value whatever they are)."));
}


}  // namespace

QString DeviceDetailView::title(Tab tab) {
    switch (tab) {
        case Tab::summary: return QStringLiteral("Summary");
        case Tab::raw: return QStringLiteral("Raw data");
    }
    return QStringLiteral("Summary");
}

std::vector<LabelledRow> DeviceDetailView::deviceRows(const DeviceRecord& record, Instant publishedAt, Instant now,
                                                      const QLocale& locale) {
    const DeviceIdentity& identity = record.identity;
    std::vector<LabelledRow> rows;
    rows.push_back({QStringLiteral("Type"), plainText(identity.label) + QStringLiteral(" (") +
                                                fromView(label(identity.certainty)) + QLatin1Char(')')});
    rows.push_back({QStringLiteral("Maker"), identity.maker ? plainText(*identity.maker) : QStringLiteral("Unknown")});
    rows.push_back({QStringLiteral("Distance"), distanceText(record)});
    if (const std::optional<double> rate = record.packetsPerSecond(publishedAt))
        rows.push_back({QStringLiteral("Packets per second"),
                        packetRateLabel(rate, locale) + QStringLiteral(" (last 10 seconds)")});
    rows.push_back({QStringLiteral("Heard via"), fromView(displayName(record.source))});
    if (record.identityChanges >= 1)
        rows.push_back({QStringLiteral("Identity changes"),
                        QString::number(record.identityChanges) +
                            QStringLiteral(", kept on this row because the name and broadcast pattern matched")});
    if (record.isConnected)
        rows.push_back({QStringLiteral("Connected"), *record.isConnected ? QStringLiteral("Yes") : QStringLiteral("No")});
    if (record.batteryPercent)
        rows.push_back({QStringLiteral("Battery"), QString::number(*record.batteryPercent) + QLatin1Char('%')});
    for (const std::string& detail : identity.details) rows.push_back({QStringLiteral("Detail"), plainText(detail)});
    rows.push_back({QStringLiteral("First seen"),
                    QString::fromStdString(elapsedText(secondsBetween(record.firstSeen, now), locale.name().toStdString())) +
                        QStringLiteral(" ago")});
    rows.push_back({QStringLiteral("Packets"), QString::number(record.packetCount)});
    return rows;
}

QString DeviceDetailView::proximityText(const DeviceRecord& record) {
    const std::optional<Proximity> proximity = record.proximity();
    if (!record.rssi() || !proximity) return QStringLiteral("No reading");
    return fromView(rawValue(*proximity));
}

// --- widgets ---

DeviceDetailView::DeviceDetailView(DeviceStore& store, QWidget* parent)
    : QWidget(parent), store_(store), clock_(new QTimer(this)) {
    auto* column = new QVBoxLayout(this);
    column->addWidget(makeHeader());

    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName(QStringLiteral("View"));
    tabs_->setDocumentMode(true);
    tabs_->addTab(makeSummary(), title(Tab::summary));
    raw_ = new RawDataView(this);
    tabs_->addTab(raw_, title(Tab::raw));
    column->addWidget(tabs_, 1);
    connect(tabs_, &QTabWidget::currentChanged, this, [this] { refreshRaw(); });

    // "First seen" counts on between publishes.
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &DeviceDetailView::refreshDeviceRows);
}

QWidget* DeviceDetailView::makeHeader() {
    auto* header = new QWidget(this);
    // Narrower than name and button side by side, the header stacks them instead
    // of holding the whole pane wide.
    header->setMinimumWidth(1);
    header_ = new QBoxLayout(QBoxLayout::LeftToRight, header);
    header_->setContentsMargins(0, 0, 0, 0);
    header_->setSpacing(headerSpacing);

    identityBlock_ = new QWidget(header);
    auto* identity = new QHBoxLayout(identityBlock_);
    identity->setContentsMargins(0, 0, 0, 0);
    identity->setSpacing(headerSpacing);
    kindIcon_ = new QLabel(identityBlock_);
    identity->addWidget(kindIcon_, 0, Qt::AlignTop);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    name_ = new ElidedLabel(identityBlock_);
    name_->setObjectName(QStringLiteral("displayName"));
    name_->setFont(titleFont(name_->font()));
    names->addWidget(name_);
    subtitle_ = new ElidedLabel(identityBlock_);
    subtitle_->setObjectName(QStringLiteral("identityLabel"));
    makeSecondary(*subtitle_);
    names->addWidget(subtitle_);
    identity->addLayout(names);
    header_->addWidget(identityBlock_, 0, Qt::AlignLeft);

    findButton_ = new QPushButton(bundledIcon(QStringLiteral("crosshair"), palette(), QPalette::ButtonText),
                                  QStringLiteral("Find this device"), header);
    findButton_->setObjectName(QStringLiteral("findButton"));
    connect(findButton_, &QPushButton::clicked, this, [this] {
        if (key_) store_.startFinding(*key_);
    });
    header_->addStretch();
    header_->addWidget(findButton_, 0, Qt::AlignLeft | Qt::AlignVCenter);
    return header;
}

QWidget* DeviceDetailView::makeSummary() {
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("summaryScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    summaryScroll_ = scroll;

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setSpacing(16);

    auto* signal = new QWidget(content);
    QVBoxLayout* signalColumn = titledColumn(signal, QStringLiteral("Signal"), 8);
    auto* reading = new QHBoxLayout;
    reading->setSpacing(10);
    dbm_ = new QLabel(signal);
    dbm_->setObjectName(QStringLiteral("dbm"));
    QFont number = dbm_->font();
    number.setPixelSize(28);
    number.setWeight(QFont::DemiBold);
    dbm_->setFont(number);
    reading->addWidget(dbm_, 0, Qt::AlignBottom);
    auto* unit = new QLabel(QStringLiteral("dBm"), signal);
    makeSecondary(*unit);
    reading->addWidget(unit, 0, Qt::AlignBottom);
    pill_ = new QLabel(signal);
    pill_->setObjectName(QStringLiteral("proximityPill"));
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(0.1f);
    pill_->setStyleSheet(QStringLiteral("QLabel#proximityPill { background: %1; border-radius: 9px; padding: 2px 8px; }")
                             .arg(fill.name(QColor::HexArgb)));
    reading->addWidget(pill_, 0, Qt::AlignBottom);
    reading->addStretch();
    bars_ = new SignalBarsView(5, 20, signal);
    bars_->setObjectName(QStringLiteral("signalBars"));
    reading->addWidget(bars_, 0, Qt::AlignBottom);
    signalColumn->addLayout(reading);
    sparkline_ = new SignalSparkline(signal);
    sparkline_->setObjectName(QStringLiteral("sparkline"));
    signalColumn->addWidget(sparkline_);
    QLabel* note =
        textLabel(QStringLiteral("Distance is a rough bucket: walls, bodies and pockets move the signal a lot."), signal);
    note->setFont(captionFont(note->font()));
    makeSecondary(*note);
    signalColumn->addWidget(note);
    column->addWidget(signal);

    auto* device = new QWidget(content);
    QVBoxLayout* deviceColumn = titledColumn(device, QStringLiteral("Device"), 8);
    deviceRows_ = new RowGrid(RowGrid::Style{}, device);
    deviceRows_->setObjectName(QStringLiteral("deviceRows"));
    deviceColumn->addWidget(deviceRows_);
    column->addWidget(device);

    whySection_ = new QWidget(content);
    whySection_->setObjectName(QStringLiteral("whySection"));
    QVBoxLayout* whyColumn = titledColumn(whySection_, QStringLiteral("Why we think this"), 8);
    whyLines_ = new QVBoxLayout;
    whyLines_->setSpacing(8);
    whyColumn->addLayout(whyLines_);
    column->addWidget(whySection_);

    column->addStretch();
    scroll->setWidget(content);
    return scroll;
}

DeviceDetailView::Tab DeviceDetailView::tab() const {
    return tabs_->currentIndex() == 1 ? Tab::raw : Tab::summary;
}

void DeviceDetailView::setTab(Tab tab) { tabs_->setCurrentIndex(tab == Tab::raw ? 1 : 0); }

void DeviceDetailView::showRecord(const DeviceRecord& record) {
    const bool another = record.id != key_;
    key_ = record.id;
    record_ = record;
    if (another) {
        setTab(Tab::summary);
        summaryScroll_->verticalScrollBar()->setValue(0);
    }

    kindIcon_->setPixmap(kindIcons_.icon(record.identity.kind, palette()).pixmap(28, 28));
    kindIcon_->setToolTip(fromView(rawValue(record.identity.kind)));
    name_->setFullText(plainText(record.displayName()));
    subtitle_->setFullText(plainText(record.identity.label));
    subtitle_->setVisible(record.hasOwnName());
    arrangeHeader();

    const bool live = record.rssi().has_value();
    findButton_->setEnabled(live);
    findButton_->setToolTip(live ? QStringLiteral("Hotter/colder meter with clicks.")
                                 : QStringLiteral("No live signal to follow."));

    refreshSummary();
    refreshRaw();
    if (!clock_->isActive()) clock_->start();
}

void DeviceDetailView::refreshSummary() {
    const DeviceRecord& record = *record_;
    dbm_->setText(dbmText(record.rssi()));
    pill_->setText(proximityText(record));
    bars_->setRssi(record.rssi());
    sparkline_->setPoints(record.history.points, store_.publishedAt());
    refreshDeviceRows();
    refreshEvidence(record.identity.evidence);
}

void DeviceDetailView::refreshDeviceRows() {
    if (record_) deviceRows_->setRows(deviceRows(*record_, store_.publishedAt(), wallClock()));
}

void DeviceDetailView::refreshEvidence(const std::vector<std::string>& evidence) {
    whySection_->setVisible(!evidence.empty());
    if (evidence == evidence_ && whyLines_->count() == static_cast<int>(evidence.size())) return;
    evidence_ = evidence;
    while (QLayoutItem* item = whyLines_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QIcon check = QIcon::fromTheme(QStringLiteral("emblem-ok-symbolic"),
                                         style()->standardIcon(QStyle::SP_DialogApplyButton));
    for (const std::string& line : evidence) {
        auto* row = new QWidget(whySection_);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        auto* icon = new QLabel(row);
        icon->setPixmap(check.pixmap(14, 14));
        layout->addWidget(icon, 0, Qt::AlignTop);
        QLabel* text = textLabel(plainText(line), row);
        text->setFont(calloutFont(text->font()));
        layout->addWidget(text, 1);
        whyLines_->addWidget(row);
    }
}

void DeviceDetailView::refreshRaw() {
    // The packet log is read only while it is on show.
    if (!record_ || tab() != Tab::raw) return;
    raw_->setContent(*record_, store_.table().packetLog().packets(record_->id));
}

// --- header arrangement ---

void DeviceDetailView::arrangeHeader() {
    // Measured from the parts themselves: until the event loop has run, the layouts'
    // cached size hints still describe the previous record.
    int names = name_->sizeHint().width();
    if (!subtitle_->isHidden()) names = std::max(names, subtitle_->sizeHint().width());
    const int identity = kindIcon_->sizeHint().width() + headerSpacing + names;
    const QMargins margins = layout()->contentsMargins();
    const int available = width() - margins.left() - margins.right();
    const int needed = identity + headerSpacing + findButton_->sizeHint().width();
    const auto direction = needed <= available ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (header_->direction() != direction) header_->setDirection(direction);
}

void DeviceDetailView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrangeHeader();
}

}  // namespace quillmote
