#include "app/launch_settings.h"

#include "core/looks/look.h"

#include <QDir>
#include <QFile>
#include <QMetaType>
#include <algorithm>
#include <climits>
#include <cmath>

namespace quillmote {

namespace {

bool isIntegral(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant& value) {
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

bool isText(const QVariant& value) {
    return value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray;
}

// A finite number in C-locale text; "nan" and "inf" are not numbers a setting can mean.
std::optional<double> numberIn(const QString& text) {
    bool ok = false;
    double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number)) return std::nullopt;
    return number;
}

long long truncated(double number) {
    if (number >= 9.2e18) return LLONG_MAX;
    if (number <= -9.2e18) return LLONG_MIN;
    return static_cast<long long>(number);
}

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

}  // namespace

LaunchSettings::LaunchSettings(const QStringList& arguments, std::unique_ptr<QSettings> store)
    : store_(std::move(store)) {
    if (!store_)
        store_ = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Quillmote", "Quillmote");
    // The word after a key is always its value, even when it starts with a dash,
    // so negative numbers can be given.
    for (qsizetype i = 0; i + 1 < arguments.size();) {
        const QString& argument = arguments[i];
        if (argument.size() > 1 && argument.startsWith('-')) {
            overrides_.insert(argument.mid(1), arguments[i + 1]);
            i += 2;
        } else {
            i += 1;
        }
    }
}

QVariant LaunchSettings::value(const QString& key) const {
    auto given = overrides_.constFind(key);
    if (given != overrides_.constEnd()) return *given;
    return store_->value(key);
}

bool LaunchSettings::contains(const QString& key) const {
    return overrides_.contains(key) || store_->contains(key);
}

std::optional<QString> LaunchSettings::text(const QString& key) const {
    QVariant stored = value(key);
    if (!stored.isValid()) return std::nullopt;
    if (isText(stored) || isIntegral(stored) || isFloating(stored) || stored.typeId() == QMetaType::Bool)
        return stored.toString();
    // Lists and other structured values are not text.
    return std::nullopt;
}

double LaunchSettings::real(const QString& key) const {
    QVariant stored = value(key);
    if (isIntegral(stored) || isFloating(stored) || stored.typeId() == QMetaType::Bool) {
        double number = stored.toDouble();
        return std::isfinite(number) ? number : 0.0;
    }
    if (isText(stored)) return numberIn(stored.toString()).value_or(0.0);
    return 0.0;
}

long long LaunchSettings::integer(const QString& key) const {
    QVariant stored = value(key);
    if (isIntegral(stored) || stored.typeId() == QMetaType::Bool) return stored.toLongLong();
    if (isText(stored)) {
        // Whole numbers exactly, even beyond a double's precision; other numbers
        // lose their fraction.
        bool ok = false;
        long long whole = stored.toString().trimmed().toLongLong(&ok);
        if (ok) return whole;
    }
    return truncated(real(key));
}

bool LaunchSettings::boolean(const QString& key) const {
    QVariant stored = value(key);
    if (stored.typeId() == QMetaType::Bool) return stored.toBool();
    if (isIntegral(stored) || isFloating(stored)) return stored.toDouble() != 0.0;
    if (!isText(stored)) return false;
    QString text = stored.toString().trimmed();
    if (text.compare("true", Qt::CaseInsensitive) == 0 || text.compare("yes", Qt::CaseInsensitive) == 0)
        return true;
    auto number = numberIn(text);
    return number && *number != 0.0;
}

void LaunchSettings::setText(const QString& key, const QString& value) {
    store_->setValue(key, value);
    store_->sync();
    // A value given at launch would otherwise hide the one just chosen.
    if (overrides_.contains(key)) overrides_.insert(key, value);
}

TestSettings TestSettings::fromLaunchArguments(const LaunchSettings& settings) {
    TestSettings result;
    if (auto history = settings.text("historyPath")) {
        result.historyFolder = localPath(QDir::cleanPath(QDir::current().absoluteFilePath(*history)));
    } else if (settings.text("replayPath")) {
        result.historyFolder = localPath(QDir(QDir::tempPath()).filePath("Quillmote-replay-history"));
    }
    if (settings.contains("usualOverride")) result.usualOverride = settings.real("usualOverride");
    long long minutes = settings.integer("surgeWindowMinutes");
    if (minutes >= 1) result.surgeWindowMinutes = static_cast<int>(std::min<long long>(minutes, INT_MAX));
    return result;
}

void applyLookOverride(LaunchSettings& settings) {
    const auto start = settings.text(QStringLiteral("startLook"));
    if (start && lookFromRaw(start->toStdString())) settings.setText(QStringLiteral("look"), *start);
}

}  // namespace quillmote
