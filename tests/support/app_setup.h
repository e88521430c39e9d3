#pragma once
// Set-up shared by the application tests: settings and history in a test's own
// temporary folder, never the user's, and no desktop bus.

#include <QDBusConnection>

#include "app/device_store.h"
#include "app/launch_settings.h"
#include "tests/support/temp_dir.h"

namespace quillmote::test {

// Launch settings with the given arguments over a settings file in `dir`.
inline LaunchSettings launchSettings(const TempDir& dir, const QStringList& arguments) {
    return LaunchSettings(arguments, std::make_unique<QSettings>(
                                         QString::fromStdString((dir.path() / "settings.ini").string()),
                                         QSettings::IniFormat));
}

// A connection that never reached a bus: calls on it fail at once, as on a desktop
// without a notification server or logind.
inline QDBusConnection noBus() { return QDBusConnection(QStringLiteral("quillmote-test-no-bus")); }

// A store launched with `arguments`, its history in its own folder.
struct TestStore {
    TempDir dir;
    LaunchSettings settings;
    DeviceStore store;

    explicit TestStore(const QStringList& arguments, DeviceStore::Clock clock = DeviceStore::Clock::system())
        : settings(launchSettings(
              dir, arguments + QStringList{"-historyPath", QString::fromStdString((dir.path() / "history").string())})),
          store(settings, Calendar("Europe/Berlin", "en_GB"), DeviceStore::Buses{noBus(), noBus()}, std::move(clock)) {}
};

}  // namespace quillmote::test
