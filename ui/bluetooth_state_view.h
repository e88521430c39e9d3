#pragma once

#include <QWidget>

#include "app/bluetooth_status.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillmote {

// What the window shows instead of its content while the radio is not ready.
class BluetoothStateView : public QWidget {
    Q_OBJECT

public:
    explicit BluetoothStateView(QWidget* parent = nullptr);
    void setStatus(BluetoothStatus status);

    QString title() const;
    QString message() const;
    bool offersSettings() const;

private:
    QProgressBar* spinner_;
    QLabel* symbol_;
    QLabel* title_;
    QLabel* message_;
    QPushButton* settingsButton_;
};

// The desktop's Bluetooth settings panel, as a program and its arguments; empty
// when none of the known panels is installed.
QStringList bluetoothSettingsCommand();

}  // namespace quillmote
