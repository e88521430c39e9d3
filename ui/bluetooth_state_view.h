#pragma once

#include <QWidget>
#include <functional>

#include "app/bluetooth_status.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillmote {

// The demo capture: installed under the program's prefix (share/quillmote), or as
// the build tree copies it; else found in the XDG data folders. Empty when there is none.
QString demoCapturePath();

// What the window shows instead of its content while the radio is not ready.
class BluetoothStateView : public QWidget {
    Q_OBJECT

public:
    // Starts a program on its own; returns whether it started.
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;

    // `demoCapture` is what the demo button replays; empty: no demo button.
    explicit BluetoothStateView(QWidget* parent = nullptr, QString demoCapture = demoCapturePath());
    void setStatus(BluetoothStatus status, BluetoothProblem problem = BluetoothProblem::none);
    void setLauncher(Launcher launcher) { launch_ = std::move(launcher); }

    QString title() const;
    QString message() const;
    bool offersSettings() const;
    bool offersDemo() const;

private:
    QString demoCapture_;
    Launcher launch_;
    QProgressBar* spinner_;
    QLabel* symbol_;
    QLabel* title_;
    QLabel* message_;
    QPushButton* settingsButton_;
    QPushButton* demoButton_;

    void startDemo();
};

// The desktop's Bluetooth settings panel, as a program and its arguments; empty
// when none of the known panels is installed.
QStringList bluetoothSettingsCommand();

}  // namespace quillmote
