#include "ui/bluetooth_state_view.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QHBoxLayout>
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

// The title and advice are defined once in app/ (string literals, so data() ends in
// a null); the programs also write them to standard error.
StatusLook lookOf(BluetoothProblem problem) {
    return {"dialog-warning", QStyle::SP_MessageBoxWarning, problemTitle(problem).data(), problemAdvice(problem).data(),
            false};
}

}  // namespace

QString demoCapturePath() {
    const QString name = QStringLiteral("quillmote/demo-capture.json");
    // bin/../share when installed; the build tree copies it to the same place beside ui/.
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/") + name);
    if (QFileInfo::exists(besideProgram)) return QDir::cleanPath(besideProgram);
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, name);
}

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

BluetoothStateView::BluetoothStateView(QWidget* parent, QString demoCapture)
    : QWidget(parent),
      demoCapture_(std::move(demoCapture)),
      launch_([](const QString& program, const QStringList& arguments) {
          return QProcess::startDetached(program, arguments);
      }),
      spinner_(new QProgressBar(this)),
      symbol_(new QLabel(this)),
      title_(new QLabel(this)),
      message_(new QLabel(this)),
      settingsButton_(new QPushButton(QStringLiteral("Open Bluetooth settings"), this)),
      demoButton_(new QPushButton(QStringLiteral("Open the demo room"), this)) {
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
    message_->setObjectName(QStringLiteral("message"));
    title_->setWordWrap(true);
    message_->setWordWrap(true);
    connect(settingsButton_, &QPushButton::clicked, this, [] {
        const QStringList command = bluetoothSettingsCommand();
        if (!command.isEmpty()) QProcess::startDetached(command.front(), command.mid(1));
    });
    connect(demoButton_, &QPushButton::clicked, this, &BluetoothStateView::startDemo);

    // The wrapped texts fill a column of their own width: a label placed with an
    // alignment gets its one-line size hint and loses its other lines.
    auto* column = new QVBoxLayout;
    column->setSpacing(12);
    column->addWidget(spinner_, 0, Qt::AlignHCenter);
    column->addWidget(symbol_, 0, Qt::AlignHCenter);
    column->addWidget(title_);
    column->addWidget(message_);
    column->addWidget(settingsButton_, 0, Qt::AlignHCenter);
    column->addWidget(demoButton_, 0, Qt::AlignHCenter);
    auto* columnBox = new QWidget(this);
    columnBox->setLayout(column);
    columnBox->setMaximumWidth(460);
    columnBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // Centred across: the column takes its width first (up to 460), the rest is split
    // evenly on both sides.
    auto* across = new QHBoxLayout;
    across->addStretch(1);
    across->addWidget(columnBox, 20);
    across->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addLayout(across);
    layout->addStretch();
    setStatus(BluetoothStatus::starting);
}

void BluetoothStateView::setStatus(BluetoothStatus status, BluetoothProblem problem) {
    const StatusLook look = problem == BluetoothProblem::none ? lookOf(status) : lookOf(problem);
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
    // Someone who cannot listen here has nothing else to look at.
    const bool cannotListen = problem != BluetoothProblem::none || status == BluetoothStatus::unsupported;
    demoButton_->setVisible(cannotListen && !demoCapture_.isEmpty());
}

void BluetoothStateView::startDemo() {
    // The same settings again, replaying the demo room instead of listening; a later
    // "-replayPath" wins over an earlier one.
    const QStringList arguments =
        QCoreApplication::arguments().mid(1) + QStringList{QStringLiteral("-replayPath"), demoCapture_};
    if (launch_(QCoreApplication::applicationFilePath(), arguments)) window()->close();
}

QString BluetoothStateView::title() const { return title_->text(); }
QString BluetoothStateView::message() const { return message_->text(); }
bool BluetoothStateView::offersSettings() const { return !settingsButton_->isHidden(); }
bool BluetoothStateView::offersDemo() const { return !demoButton_->isHidden(); }

}  // namespace quillmote
