// quillmote: the window. Settings come as "-key value" pairs (quillmote -replayPath demo.json).
#include <QApplication>
#include <QMessageBox>
#include <iostream>
#include <string_view>

#include "app/bluez_scanner.h"
#include "app/device_store.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    // Answered before any display is needed, as a service manager or a packager asks it.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << "quillmote " QUILLMOTE_VERSION "\n";
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmote"));
    QApplication::setApplicationName(QStringLiteral("Quillmote"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillmote"));
    QApplication::setDesktopFileName(QStringLiteral("quillmote"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quillmote")));

    using namespace quillmote;
    LaunchSettings settings(QApplication::arguments().mid(1));
    applyLookOverride(settings);
    DeviceStore store(settings, Calendar::current());
    // The radio, or only the paired devices during a replay.
    store.setScannerFactory([] { return std::make_unique<BluezScanner>(); });
    QObject::connect(&store, &DeviceStore::statusChanged, [&store, told = BluetoothProblem::none]() mutable {
        if (store.problem() == told) return;
        told = store.problem();
        if (told != BluetoothProblem::none) std::cerr << "quillmote: " << problemLine(told) << '\n';
    });
    for (const auto& line : store.activity().setAside()) std::cerr << "quillmote: history: " << line << '\n';
    MainWindow window(store);
    window.show();
    try {
        store.start();
    } catch (const CaptureLaunchError& error) {
        // Nothing has started: say why and stop.
        window.hide();
        std::cerr << "quillmote: " << error.what() << '\n';
        // Without a screen nobody could dismiss the dialog.
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillmote"), QString::fromStdString(error.what()));
            box.setTextFormat(Qt::PlainText);  // a file name is not markup
            box.exec();
        }
        return 1;
    }
    const int status = QApplication::exec();
    store.finish();
    return status;
}
