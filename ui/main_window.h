#pragma once

#include <QMainWindow>
#include <QPointer>

#include "app/device_store.h"
#include "core/looks/look.h"
#include "ui/find_sheet.h"
#include "ui/looks/look_fonts.h"

class QAction;
class QCheckBox;
class QContextMenuEvent;
class QLabel;
class QLineEdit;
class QSplitter;
class QStackedWidget;
class QTableView;
class QToolBar;
class QToolButton;

namespace quillmote {

class ActivityView;
class LookPage;
class BluetoothStateView;
class DeviceDetailView;
class DeviceListModel;
class SegmentedControl;


// The one window: the radio's state or the device list beside the selected device's
// detail, a menu bar, a toolbar of list actions, and the status line in the status
// bar. It only presents what the store publishes and passes the user's choices back.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    enum class Page { devices, activity };

    explicit MainWindow(DeviceStore& store, QWidget* parent = nullptr);

    Page page() const { return page_; }
    void setPage(Page page);
    Look look() const { return look_; }
    // Shows the look and stores it as the one to open with next time.
    void setLook(Look look);
    // The list or a look, with their actions and the silent count.
    bool showsDevices() const { return look_ != Look::standard || page_ == Page::devices; }
    LookPage* lookPage() const { return lookPage_; }
    SegmentedControl* lookPicker() const { return lookPicker_; }
    QAction* lookAction(Look look) const { return lookActions_[static_cast<int>(look)]; }
    ActivityView* activityView() const { return activity_; }
    SegmentedControl* pagePicker() const { return pagePicker_; }

    QString statusLine() const;
    QTableView* deviceTable() const { return table_; }
    DeviceListModel* deviceModel() const { return model_; }
    DeviceDetailView* detailView() const { return detail_; }
    BluetoothStateView* bluetoothStateView() const { return stateView_; }
    FindSheet* findSheet() const { return findSheet_; }
    // The list's empty panel ("Listening…") or the table.
    bool showsListeningPanel() const;
    bool showsDetail() const;
    QLineEdit* searchField() const { return search_; }
    QCheckBox* hideUnidentifiedBox() const { return hideUnidentified_; }
    QToolButton* resortButton() const;
    QToolButton* clearSilentButton() const;

    // "About Quillmote": the version, the licence and the bundled drawings'.
    static QString aboutText();

    static constexpr int defaultWidth = 1100;
    static constexpr int defaultHeight = 680;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DeviceStore& store_;
    DeviceListModel* model_;
    QTableView* table_;
    QStackedWidget* listStack_;
    QStackedWidget* detailStack_;
    DeviceDetailView* detail_;
    QStackedWidget* contentStack_;
    BluetoothStateView* stateView_;
    QSplitter* split_;
    ActivityView* activity_;
    LookFonts fonts_;
    LookPage* lookPage_;
    Page page_;
    Look look_;
    SegmentedControl* lookPicker_;
    QAction* lookActions_[4];
    QAction* pagePickerAction_;
    QToolBar* toolbar_;
    SegmentedControl* pagePicker_;
    QAction* hideUnidentifiedBoxAction_;
    QAction* searchAction_;
    QLineEdit* search_;
    QCheckBox* hideUnidentified_;
    QAction* hideUnidentifiedAction_;
    QAction* resortAction_;
    QAction* clearSilentAction_;
    QLabel* subtitle_;
    QPointer<FindSheet> findSheet_;
    bool applyingPublish_ = false;

    void buildActions();
    void buildMenus();
    void buildToolbar();
    QWidget* buildList();
    QWidget* buildDetail();
    void refreshList();
    void refreshDetail();
    void refreshStatus();
    void refreshContent();
    void refreshActions();
    void refreshLook();
    void applyAppearance();
    void refreshSortIndicator();
    void selectStoredKey();
    void sortByColumn(int column);
    void keepNameColumnWidth();
    void showRowMenu(const QContextMenuEvent& event);
    void findSelected();
    void followFindSession();
};

}  // namespace quillmote
