#pragma once

#include <QLocale>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "app/device_store.h"
#include "ui/icons.h"
#include "ui/row_grid.h"

class QBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace quillmote {

class ElidedLabel;
class RawDataView;
class SignalBarsView;
class SignalSparkline;

// Everything known about the selected device: identity, find button, and the
// "Summary" and "Raw data" tabs. Refreshed from the record on every publish;
// texts change in place, so reading, selecting and scrolling survive a refresh.
class DeviceDetailView : public QWidget {
    Q_OBJECT

public:
    enum class Tab { summary, raw };
    // "Summary", "Raw data": the tab titles.
    static QString title(Tab tab);

    explicit DeviceDetailView(DeviceStore& store, QWidget* parent = nullptr);

    // Shows the record as last published. The chosen tab is kept while the key
    // stays the same; another device starts on "Summary", at the top.
    void showRecord(const DeviceRecord& record);
    Tab tab() const;
    void setTab(Tab tab);

    // The "Device" grid, in order: rows without a value are left out. `now` is the
    // wall clock, for "First seen".
    static std::vector<LabelledRow> deviceRows(const DeviceRecord& record, Instant publishedAt, Instant now,
                                               const QLocale& locale = QLocale());
    // "Near", "Same room", "Far", or "No reading" without a live signal.
    static QString proximityText(const DeviceRecord& record);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    DeviceStore& store_;
    std::optional<std::string> key_;
    std::optional<DeviceRecord> record_;
    std::vector<std::string> evidence_;

    QBoxLayout* header_;
    QWidget* identityBlock_;
    KindIcons kindIcons_;
    QLabel* kindIcon_;
    ElidedLabel* name_;
    ElidedLabel* subtitle_;
    QPushButton* findButton_;
    QTabWidget* tabs_;
    QScrollArea* summaryScroll_;
    QLabel* dbm_;
    QLabel* pill_;
    SignalBarsView* bars_;
    SignalSparkline* sparkline_;
    RowGrid* deviceRows_;
    QWidget* whySection_;
    QVBoxLayout* whyLines_;
    RawDataView* raw_;
    QTimer* clock_;

    QWidget* makeHeader();
    QWidget* makeSummary();
    void refreshSummary();
    void refreshDeviceRows();
    void refreshEvidence(const std::vector<std::string>& evidence);
    void refreshRaw();
    void arrangeHeader();
};

}  // namespace quillmote
