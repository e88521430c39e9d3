#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QWidget>
#include <functional>
#include <ostream>

#include "app/device_store.h"
#include "tests/support/temp_dir.h"
#include "ui/row_grid.h"

namespace quillmote::test {

// Runs the event loop until `done` holds or ten seconds pass.
inline bool waitFor(const std::function<bool()>& done, int milliseconds = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Lets Qt deliver what it has posted (layouts above all) before a check.
inline void settle() {
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// A store with its settings and history in a temporary folder and no D-Bus peers,
// replaying a capture (a name in tests/data, or an absolute path); without one it
// waits for a radio. Further launch arguments come first.
struct TestStore {
    TempDir dir;
    LaunchSettings settings;
    DeviceStore store;

    explicit TestStore(const std::string& capture = {}, const QStringList& arguments = {})
        : settings(arguments + QStringList{"-historyPath", path("history")} +
                       (capture.empty() ? QStringList() : QStringList{"-replayPath", replayPath(capture)}),
                   std::make_unique<QSettings>(path("settings.ini"), QSettings::IniFormat)),
          store(settings, Calendar("Europe/Berlin", "en_GB"),
                DeviceStore::Buses{QDBusConnection(QStringLiteral("none")), QDBusConnection(QStringLiteral("none"))}) {}
    QString path(const char* name) const { return QString::fromStdString((dir.path() / name).string()); }
    static QString replayPath(const std::string& capture) {
        return QString::fromStdString(capture.starts_with('/') ? capture : QUILLMOTE_TEST_DATA "/" + capture);
    }
};

inline QStringList labels(const std::vector<LabelledRow>& rows) {
    QStringList out;
    for (const LabelledRow& row : rows) out << row.label;
    return out;
}

// Saves a picture of the widget into the build folder's screenshots/, for a person
// to look at; returns whether the file was written.
inline bool saveScreenshot(QWidget& widget, const QString& name) {
    QDir().mkpath(QStringLiteral(QUILLMOTE_SCREENSHOT_DIR));
    return widget.grab().save(QStringLiteral(QUILLMOTE_SCREENSHOT_DIR) + "/" + name + ".png");
}

}  // namespace quillmote::test

// Test failures print texts as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
