#pragma once

#include <QLocale>
#include <QScrollArea>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/table/device_record.h"
#include "ui/row_grid.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quillmote {

// One logged packet as the packet log lists it.
struct PacketRow {
    Sighting packet;

    // The fields worth a glance, one text each: "name …", "mfr …", "svc KEY …",
    // "uuids A,B". Transmit power, connectability and the other lists are left out.
    QStringList fieldSummary() const;
    // "-67 dBm", or "no reading".
    QString rssiText() const;
    // Hours (with AM/PM where the locale uses it), minutes, seconds and hundredths.
    static QString timeText(Instant time, const QLocale& locale = QLocale(),
                            const QTimeZone& zone = QTimeZone::systemTimeZone());
};

// What was actually received for one device: its identifier, the merged
// advertisement, the manufacturer data with Apple's messages, and the newest
// packets, which can be copied as a test fixture.
class RawDataView : public QScrollArea {
    Q_OBJECT

public:
    static constexpr std::size_t rowsShown = 100;
    static constexpr std::size_t fixturePackets = 50;

    explicit RawDataView(QWidget* parent = nullptr);

    // `packets` oldest first, as the table's packet log keeps them. Another
    // device starts at the top, with the copy not yet made.
    void setContent(const DeviceRecord& record, std::vector<Sighting> packets);

    // The newest 50 packets, oldest first, as fixture JSON on the clipboard;
    // false (and nothing copied) when there is nothing to copy or encoding fails.
    bool copyFixture();
    bool copied() const { return copied_; }

    // The rows of each block, pure so they can be checked without widgets.
    static QString serviceLabel(std::string_view uuid);
    static QString identifierTitle(const DeviceRecord& record);
    static std::vector<LabelledRow> identifierRows(const DeviceRecord& record);
    static std::vector<LabelledRow> advertisementRows(const Advertisement& advertisement);
    // Empty when the field has no company identifier (fewer than two bytes).
    static std::vector<LabelledRow> manufacturerRows(const Advertisement& advertisement);
    static QString packetLogTitle(std::size_t kept);

private:
    struct PacketCells {
        QWidget* row;
        QLabel* time;
        QLabel* fields;
    };

    std::string key_;
    std::vector<Sighting> packets_;
    bool copied_ = false;

    RowGrid* identifier_;
    QLabel* beaconNote_;
    RowGrid* advertisement_;
    QWidget* manufacturerBlock_;
    RowGrid* manufacturer_;
    QLabel* packetTitle_;
    QPushButton* copyButton_;
    QLabel* emptyNote_;
    QVBoxLayout* packetRows_;
    std::vector<PacketCells> packetCells_;

    void showPackets(const DeviceRecord& record);
    PacketCells makePacketCells();
};

}  // namespace quillmote
