#include "ui/raw_data_view.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <exception>
#include <span>

#include "core/decoding/apple_continuity.h"
#include "core/decoding/assigned_numbers.h"
#include "core/decoding/manufacturer_data.h"
#include "core/sightings/fixture.h"
#include "ui/device_text.h"
#include "ui/text_styles.h"

namespace quillmote {

namespace {

const QString dash = QStringLiteral("—");

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString hexText(ByteView bytes) { return QString::fromStdString(hexString(bytes)); }

QString serviceLines(const std::vector<std::string>& uuids) {
    QStringList lines;
    for (const std::string& uuid : uuids) lines << RawDataView::serviceLabel(uuid);
    return lines.join(QLatin1Char('\n'));
}

// The locale's time of day with seconds, without the zone's name, and with the
// hundredths of the second (as a quoted literal) right after the seconds.
QString timeFormatWithHundredths(const QLocale& locale, const QString& hundredths) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    bool placed = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        result += c;
        if (!quoted && !placed && c == QLatin1Char('s') && format.mid(i, 2) == QLatin1String("ss")) {
            result += QLatin1Char('s');
            result += QStringLiteral("'") + locale.decimalPoint() + hundredths + QStringLiteral("'");
            placed = true;
            ++i;
        }
    }
    if (!placed) return QStringLiteral("HH:mm:ss'") + locale.decimalPoint() + hundredths + QStringLiteral("'");
    return result.simplified();
}

}  // namespace

// --- PacketRow ---

QStringList PacketRow::fieldSummary() const {
    const Advertisement& ad = packet.advertisement;
    QStringList lines;
    if (ad.localName) lines << QStringLiteral("name ") + plainText(*ad.localName);
    if (ad.manufacturerData) lines << QStringLiteral("mfr ") + hexText(*ad.manufacturerData);
    for (const auto& [key, data] : ad.serviceData)
        lines << QStringLiteral("svc ") + plainText(key) + QLatin1Char(' ') + hexText(data);
    if (!ad.serviceUUIDs.empty()) {
        QStringList uuids;
        for (const std::string& uuid : ad.serviceUUIDs) uuids << plainText(uuid);
        lines << QStringLiteral("uuids ") + uuids.join(QLatin1Char(','));
    }
    return lines;
}

QString PacketRow::rssiText() const {
    return packet.rssi ? QString::asprintf("%lld", static_cast<long long>(*packet.rssi)) + QStringLiteral(" dBm")
                       : QStringLiteral("no reading");
}

QString PacketRow::timeText(Instant time, const QLocale& locale, const QTimeZone& zone) {
    using namespace std::chrono;
    const long long ms = floor<milliseconds>(time).time_since_epoch().count();
    const int hundredths = static_cast<int>(((ms % 1000) + 1000) % 1000 / 10);
    const QString digits = QStringLiteral("%1").arg(hundredths, 2, 10, QLatin1Char('0'));
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, zone);
    return locale.toString(local.time(), timeFormatWithHundredths(locale, digits));
}

// --- RawDataView: rows ---

QString RawDataView::serviceLabel(std::string_view uuid) {
    QString label = plainText(uuid);
    if (auto name = AssignedNumbers::serviceName(uuid)) label += QStringLiteral(" (") + fromView(*name) + QLatin1Char(')');
    return label;
}

QString RawDataView::identifierTitle(const DeviceRecord& record) {
    if (record.rangedBeacon) return QStringLiteral("Beacon ID");
    return record.source == SightingSource::paired ? QStringLiteral("Address")
                                                   : QStringLiteral("Address (as this computer hears it)");
}

std::vector<LabelledRow> RawDataView::identifierRows(const DeviceRecord& record) {
    std::vector<LabelledRow> rows{{identifierTitle(record), plainText(record.id)}};
    if (record.cachedName) rows.push_back({QStringLiteral("Name the system remembers"), plainText(*record.cachedName)});
    return rows;
}

std::vector<LabelledRow> RawDataView::advertisementRows(const Advertisement& ad) {
    std::vector<LabelledRow> rows;
    rows.push_back({QStringLiteral("Local name"), ad.localName ? plainText(*ad.localName) : dash});
    rows.push_back({QStringLiteral("Connectable"),
                    ad.isConnectable ? (*ad.isConnectable ? QStringLiteral("Yes") : QStringLiteral("No")) : dash});
    rows.push_back({QStringLiteral("Transmit power"),
                    ad.txPower ? QString::number(*ad.txPower) + QStringLiteral(" dBm") : dash});
    rows.push_back({QStringLiteral("Services"), ad.serviceUUIDs.empty() ? dash : serviceLines(ad.serviceUUIDs)});
    for (const auto& [key, data] : ad.serviceData)
        rows.push_back({QStringLiteral("Service data ") + serviceLabel(key), hexText(data)});
    if (!ad.overflowServiceUUIDs.empty())
        rows.push_back({QStringLiteral("Overflow (hashed)"), serviceLines(ad.overflowServiceUUIDs)});
    if (!ad.solicitedServiceUUIDs.empty())
        rows.push_back({QStringLiteral("Solicited services"), serviceLines(ad.solicitedServiceUUIDs)});
    for (const auto& [key, value] : ad.otherFields) rows.push_back({plainText(key), plainText(value)});
    return rows;
}

std::vector<LabelledRow> RawDataView::manufacturerRows(const Advertisement& ad) {
    const std::optional<ManufacturerData> data = ManufacturerData::from(ad.manufacturerData);
    if (!data) return {};
    const auto company = AssignedNumbers::companyName(data->companyID);
    std::vector<LabelledRow> rows{
        {QStringLiteral("Company ID"), QString::asprintf("0x%04X", data->companyID) + QStringLiteral(" · ") +
                                           (company ? fromView(*company) : QStringLiteral("not registered"))},
        {QStringLiteral("Payload"), hexText(data->payload)},
    };
    if (data->companyID == ManufacturerData::apple)
        for (const ContinuityMessage& message : AppleContinuity::messages(data->payload))
            rows.push_back({QString::asprintf("Apple 0x%02X · ", message.type) + fromView(displayName(message.kind())),
                            hexText(message.value)});
    return rows;
}

QString RawDataView::packetLogTitle(std::size_t kept) {
    return QStringLiteral("Packet log (") + QString::number(kept) + QStringLiteral(" kept, newest first)");
}

// --- RawDataView: widgets ---

namespace {

const RowGrid::Style rawRows{150, 8, 4, true};

}  // namespace

RawDataView::RawDataView(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setSpacing(14);

    auto* identifierBlock = new QWidget(content);
    QVBoxLayout* identifier = titledColumn(identifierBlock, QStringLiteral("Identifier"), 6);
    identifier_ = new RowGrid(rawRows, identifierBlock);
    identifier_->setObjectName(QStringLiteral("identifierRows"));
    identifier->addWidget(identifier_);
    beaconNote_ = textLabel(QStringLiteral("Heard through iOS Location. iOS doesn't pass on the beacon's raw bytes."),
                            identifierBlock);
    makeSecondary(*beaconNote_);
    identifier->addWidget(beaconNote_);
    column->addWidget(identifierBlock);

    auto* advertisementBlock = new QWidget(content);
    QVBoxLayout* advertisement = titledColumn(advertisementBlock, QStringLiteral("Advertisement (merged)"), 6);
    advertisement_ = new RowGrid(rawRows, advertisementBlock);
    advertisement_->setObjectName(QStringLiteral("advertisementRows"));
    advertisement->addWidget(advertisement_);
    column->addWidget(advertisementBlock);

    manufacturerBlock_ = new QWidget(content);
    manufacturerBlock_->setObjectName(QStringLiteral("manufacturerBlock"));
    QVBoxLayout* manufacturer = titledColumn(manufacturerBlock_, QStringLiteral("Manufacturer data"), 6);
    manufacturer_ = new RowGrid(rawRows, manufacturerBlock_);
    manufacturer_->setObjectName(QStringLiteral("manufacturerRows"));
    manufacturer->addWidget(manufacturer_);
    column->addWidget(manufacturerBlock_);

    auto* logBlock = new QWidget(content);
    QVBoxLayout* log = titledColumn(logBlock, packetLogTitle(0), 6);
    packetTitle_ = qobject_cast<QLabel*>(log->itemAt(0)->widget());
    packetTitle_->setObjectName(QStringLiteral("packetLogTitle"));
    auto* copyRow = new QHBoxLayout;
    copyButton_ = new QPushButton(QIcon::fromTheme(QStringLiteral("edit-copy")),
                                  QStringLiteral("Copy as test fixture"), logBlock);
    copyButton_->setObjectName(QStringLiteral("copyFixture"));
    connect(copyButton_, &QPushButton::clicked, this, [this] { copyFixture(); });
    copyRow->addWidget(copyButton_);
    auto* caption = new QLabel(QStringLiteral("Last ") + QString::number(fixturePackets) +
                                   QStringLiteral(" packets as JSON"),
                               logBlock);
    caption->setFont(captionFont(caption->font()));
    makeSecondary(*caption);
    copyRow->addWidget(caption);
    copyRow->addStretch();
    log->addLayout(copyRow);
    emptyNote_ = textLabel({}, logBlock);
    emptyNote_->setObjectName(QStringLiteral("emptyNote"));
    makeSecondary(*emptyNote_);
    log->addWidget(emptyNote_);
    packetRows_ = new QVBoxLayout;
    packetRows_->setSpacing(4);
    log->addLayout(packetRows_);
    column->addWidget(logBlock);

    column->addStretch();
    setWidget(content);
}

void RawDataView::setContent(const DeviceRecord& record, std::vector<Sighting> packets) {
    if (record.id != key_) {
        key_ = record.id;
        copied_ = false;
        copyButton_->setText(QStringLiteral("Copy as test fixture"));
        verticalScrollBar()->setValue(0);
    }
    packets_ = std::move(packets);

    identifier_->setRows(identifierRows(record));
    beaconNote_->setVisible(record.rangedBeacon.has_value());
    advertisement_->setRows(advertisementRows(record.advertisement));
    const std::vector<LabelledRow> manufacturer = manufacturerRows(record.advertisement);
    manufacturer_->setRows(manufacturer);
    manufacturerBlock_->setVisible(!manufacturer.empty());
    showPackets(record);
}

RawDataView::PacketCells RawDataView::makePacketCells() {
    auto* row = new QWidget(widget());
    row->setObjectName(QStringLiteral("packetRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    const QFont font = monospacedFont(captionFont(row->font()));
    QLabel* time = textLabel({}, row);
    time->setFont(font);
    time->setFixedWidth(150);
    makeSecondary(*time);
    QLabel* fields = textLabel({}, row);
    fields->setFont(font);
    layout->addWidget(time, 0, Qt::AlignTop);
    layout->addWidget(fields, 1);
    packetRows_->addWidget(row);
    return {row, time, fields};
}

void RawDataView::showPackets(const DeviceRecord& record) {
    packetTitle_->setText(packetLogTitle(packets_.size()));
    copyButton_->setEnabled(!packets_.empty());
    emptyNote_->setText(record.source == SightingSource::paired
                            ? QStringLiteral("Paired devices are read from the system, not heard as packets.")
                            : QStringLiteral("No packets yet."));
    emptyNote_->setVisible(packets_.empty());

    // Rows are kept and refilled, newest first, so the list does not jump while
    // it is being read.
    const std::size_t shown = std::min(packets_.size(), rowsShown);
    while (packetCells_.size() > shown) {
        delete packetCells_.back().row;
        packetCells_.pop_back();
    }
    const QLocale locale;
    for (std::size_t i = 0; i < shown; ++i) {
        if (i == packetCells_.size()) packetCells_.push_back(makePacketCells());
        const PacketRow row{packets_[packets_.size() - 1 - i]};
        const QString time = PacketRow::timeText(row.packet.time, locale);
        const QString fields = (QStringList{row.rssiText()} + row.fieldSummary()).join(QLatin1Char('\n'));
        if (packetCells_[i].time->text() != time) packetCells_[i].time->setText(time);
        if (packetCells_[i].fields->text() != fields) packetCells_[i].fields->setText(fields);
    }
}

bool RawDataView::copyFixture() {
    if (packets_.empty()) return false;
    const std::size_t from = packets_.size() > fixturePackets ? packets_.size() - fixturePackets : 0;
    std::string encoded;
    try {
        encoded = Fixture::encode(std::span<const Sighting>(packets_).subspan(from));
    } catch (const std::exception&) {
        return false;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromUtf8(encoded));  // invalid sequences become U+FFFD
    copied_ = true;
    copyButton_->setText(QStringLiteral("Copied"));
    return true;
}

}  // namespace quillmote
