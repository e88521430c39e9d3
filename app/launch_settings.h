#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <filesystem>
#include <memory>
#include <optional>

namespace quillmote {

// The application's settings: the stored ones (an INI file under the XDG config
// folder, organisation and application "Quillmote"), overridden for one run by
// "-key value" pairs on the command line. Each kind of value has its reading rule.
class LaunchSettings {
public:
    // `arguments` without the program name; "-key value" pairs override stored
    // values. `store` is the settings store to read and write (tests pass one in a
    // temporary folder); without one, the user's settings file is used.
    explicit LaunchSettings(const QStringList& arguments, std::unique_ptr<QSettings> store = nullptr);

    // Whether the key has any value, given or stored.
    bool contains(const QString& key) const;
    // Text as given; an empty text is a value, not absence.
    std::optional<QString> text(const QString& key) const;
    // A stored number or a numeric text; anything else reads as 0 (absent reads as 0 too).
    double real(const QString& key) const;
    long long integer(const QString& key) const;
    // true, YES, 1 and their kin are true; absence and everything else are false.
    bool boolean(const QString& key) const;

    // Persists a value (the look), also for the rest of this run.
    void setText(const QString& key, const QString& value);

private:
    std::unique_ptr<QSettings> store_;
    QVariantMap overrides_;

    QVariant value(const QString& key) const;
};

// "startLook" given as a look's exact name becomes the stored "look" before the
// window opens; anything else changes nothing.
void applyLookOverride(LaunchSettings& settings);

// The three settings the activity monitor consults.
struct TestSettings {
    std::optional<std::filesystem::path> historyFolder;
    std::optional<double> usualOverride;
    std::optional<int> surgeWindowMinutes;

    static TestSettings fromLaunchArguments(const LaunchSettings& settings);
};

}  // namespace quillmote
