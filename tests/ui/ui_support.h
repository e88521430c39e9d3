#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QWidget>
#include <functional>
#include <ostream>
#include <string>

#include "app/device_store.h"
#include "tests/support/temp_dir.h"

namespace quillmote::test {

inline const std::string testData = QUILLMOTE_TEST_DATA;

// Runs the event loop until `done` holds or ten seconds pass.
inline bool waitFor(const std::function<bool()>& done, int milliseconds = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A store replaying a capture (a name in tests/data, or an absolute path), with its
// settings and history in a temporary folder and no D-Bus peers.
struct ReplayStore {
    TempDir dir;
    LaunchSettings settings;
    DeviceStore store;

    explicit ReplayStore(const std::string& capture, QStringList extra = {})
        : settings(QStringList{"-replayPath", QString::fromStdString(capture.starts_with('/') ? capture : testData + "/" + capture), "-historyPath",
                               QString::fromStdString((dir.path() / "history").string())} +
                       extra,
                   std::make_unique<QSettings>(QString::fromStdString((dir.path() / "settings.ini").string()),
                                               QSettings::IniFormat)),
          store(settings, Calendar("Europe/Berlin", "en_GB"),
                DeviceStore::Buses{QDBusConnection(QStringLiteral("quillmote-ui-test-no-bus")),
                                   QDBusConnection(QStringLiteral("quillmote-ui-test-no-bus"))}) {}
};

// Saves a picture of the widget into the build folder's screenshots/, for a person
// to look at; returns whether the file was written.
inline bool saveScreenshot(QWidget& widget, const QString& name) {
    QDir().mkpath(QStringLiteral(QUILLMOTE_SCREENSHOT_DIR));
    return widget.grab().save(QStringLiteral(QUILLMOTE_SCREENSHOT_DIR) + "/" + name + ".png");
}

}  // namespace quillmote::test

// Test failures print texts as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
