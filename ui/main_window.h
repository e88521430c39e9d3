#pragma once

#include <QMainWindow>
#include <QPointer>

#include "app/device_store.h"
#include "ui/find_sheet.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSplitter;
class QStackedWidget;
class QTableView;
class QToolButton;

namespace quillmote {

class BluetoothStateView;
class DeviceDetailView;
class DeviceListModel;


// The one window: the radio's state or the device list beside the selected device's
// detail, a toolbar of list actions, and the status line under the title. It only
// presents what the store publishes and passes the user's choices back.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(DeviceStore& store, QWidget* parent = nullptr);

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
    QToolButton* resortButton() const { return resort_; }
    QToolButton* clearSilentButton() const { return clearSilent_; }

    static constexpr int defaultWidth = 1100;
    static constexpr int defaultHeight = 680;

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
    QLineEdit* search_;
    QCheckBox* hideUnidentified_;
    QToolButton* resort_;
    QToolButton* clearSilent_;
    QLabel* subtitle_;
    QPointer<FindSheet> findSheet_;
    bool applyingPublish_ = false;

    void buildToolbar();
    QWidget* buildList();
    QWidget* buildDetail();
    void refreshList();
    void refreshDetail();
    void refreshStatus();
    void refreshContent();
    void refreshActions();
    void refreshSortIndicator();
    void selectStoredKey();
    void sortByColumn(int column);
    void findSelected();
    void followFindSession();
};

}  // namespace quillmote
