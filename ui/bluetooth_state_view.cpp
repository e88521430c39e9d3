#include "ui/bluetooth_state_view.h"

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

namespace quillmote {

namespace {

struct StatusLook {
    const char* themeIcon;  // empty: the spinner
    QStyle::StandardPixmap fallback;
    const char* title;
    const char* message;
    bool settings;
};

StatusLook lookOf(BluetoothStatus status) {
    switch (status) {
        case BluetoothStatus::starting:
            return {"", QStyle::SP_BrowserReload, "", "Connecting to the system's Bluetooth service…", false};
        case BluetoothStatus::poweredOff:
            return {"bluetooth-disabled", QStyle::SP_MessageBoxInformation, "Bluetooth is turned off",
                    "Turn Bluetooth on in your desktop's Bluetooth settings. Scanning starts by itself.", false};
        case BluetoothStatus::notAllowed:
            return {"changes-prevent", QStyle::SP_MessageBoxCritical, "Bluetooth access is off",
                    "Quillmote needs permission to use Bluetooth to hear nearby devices. Allow your user to use the "
                    "system's Bluetooth service, then reopen the app.",
                    true};
        case BluetoothStatus::unsupported:
            return {"dialog-warning", QStyle::SP_MessageBoxWarning,
                    "This computer can't scan for Bluetooth Low Energy", "", false};
        case BluetoothStatus::resetting:
            return {"view-refresh", QStyle::SP_BrowserReload, "Bluetooth is restarting…", "", false};
        case BluetoothStatus::ready: break;
    }
    return {"", QStyle::SP_BrowserReload, "", "", false};
}

}  // namespace

QStringList bluetoothSettingsCommand() {
    // GNOME, KDE Plasma 5, then the desktop-neutral Blueman.
    const QList<QStringList> known = {
        {QStringLiteral("gnome-control-center"), QStringLiteral("bluetooth")},
        {QStringLiteral("systemsettings5"), QStringLiteral("kcm_bluetooth")},
        {QStringLiteral("systemsettings"), QStringLiteral("kcm_bluetooth")},
        {QStringLiteral("blueman-manager")},
    };
    for (const QStringList& command : known) {
        const QString program = QStandardPaths::findExecutable(command.front());
        if (!program.isEmpty()) return QStringList{program} + command.mid(1);
    }
    return {};
}

BluetoothStateView::BluetoothStateView(QWidget* parent)
    : QWidget(parent),
      spinner_(new QProgressBar(this)),
      symbol_(new QLabel(this)),
      title_(new QLabel(this)),
      message_(new QLabel(this)),
      settingsButton_(new QPushButton(QStringLiteral("Open Bluetooth settings"), this)) {
    spinner_->setRange(0, 0);  // busy, no amount
    spinner_->setTextVisible(false);
    spinner_->setMaximumWidth(160);
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    for (QLabel* label : {symbol_, title_, message_}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
    }
    message_->setWordWrap(true);
    message_->setMaximumWidth(460);
    connect(settingsButton_, &QPushButton::clicked, this, [] {
        const QStringList command = bluetoothSettingsCommand();
        if (!command.isEmpty()) QProcess::startDetached(command.front(), command.mid(1));
    });

    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(spinner_, 0, Qt::AlignHCenter);
    layout->addWidget(symbol_, 0, Qt::AlignHCenter);
    layout->addWidget(title_, 0, Qt::AlignHCenter);
    layout->addWidget(message_, 0, Qt::AlignHCenter);
    layout->addWidget(settingsButton_, 0, Qt::AlignHCenter);
    layout->addStretch();
    layout->setSpacing(12);
    setStatus(BluetoothStatus::starting);
}

void BluetoothStateView::setStatus(BluetoothStatus status) {
    const StatusLook look = lookOf(status);
    const bool spinning = *look.themeIcon == '\0';
    spinner_->setVisible(spinning);
    symbol_->setVisible(!spinning);
    if (!spinning) {
        const QIcon icon = QIcon::fromTheme(QString::fromLatin1(look.themeIcon), style()->standardIcon(look.fallback));
        symbol_->setPixmap(icon.pixmap(48, 48));
    }
    title_->setText(QString::fromUtf8(look.title));
    title_->setVisible(*look.title != '\0');
    message_->setText(QString::fromUtf8(look.message));
    message_->setVisible(*look.message != '\0');
    settingsButton_->setVisible(look.settings && !bluetoothSettingsCommand().isEmpty());
}

QString BluetoothStateView::title() const { return title_->text(); }
QString BluetoothStateView::message() const { return message_->text(); }
bool BluetoothStateView::offersSettings() const { return !settingsButton_->isHidden(); }

}  // namespace quillmote
