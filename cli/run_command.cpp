#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <iostream>

#include "app/bluez_scanner.h"
#include "app/device_store.h"
#include "cli/commands.h"
#include "cli/record_json.h"
#include "cli/simulated_replay.h"
#include "core/sightings/printable_text.h"

namespace quillmote::cli {

namespace {

// The longest single wait a QTimer is given: a day.
constexpr double longestTimerSeconds = 86400.0;

// Set from the signal handler, which may do nothing else safely; the event loop polls it.
std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int) { stopRequested.store(true); }

std::string_view basisName(Baseline::Basis basis) {
    switch (basis) {
        case Baseline::Basis::sameWeekday: return "sameWeekday";
        case Baseline::Basis::sameKindOfDay: return "sameKindOfDay";
        case Baseline::Basis::nearbyHours: return "nearbyHours";
    }
    return "sameWeekday";
}

nlohmann::json publishLine(DeviceStore& store, bool withRows) {
    const Instant now = store.publishedAt();
    nlohmann::json line = {
        {"time", formatISO8601(now)},
        {"status", name(store.status())},
        {"devices", store.devices().size()},
        {"visible", store.visibleDevices().size()},
        {"aroundNow", store.activity().aroundNow()},
    };
    const auto normal = store.activity().normal(now);
    if (normal.usual) {
        line["normal"] = {{"usual", *normal.usual}};
        if (normal.basis) line["normal"]["basis"] = basisName(*normal.basis);
    } else {
        line["normal"] = {{"learning", normal.learningDays}};
    }
    if (auto allowed = store.notifier().alertsAllowed()) line["alertsAllowed"] = *allowed;
    if (withRows) {
        nlohmann::json rows = nlohmann::json::array();
        for (const auto& row : store.devices())
            rows.push_back(rowJson(row, store.table().packetLog().count(row.id), now));
        line["rows"] = std::move(rows);
    }
    return line;
}

}  // namespace

int runRun(const Command& command, std::span<const std::string_view> args) {
    QStringList launchArguments;
    bool withRows = false;
    std::optional<double> duration;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << commandHelp(command);
            return 0;
        }
        if (arg == "--rows") {
            withRows = true;
        } else if (arg == "--duration") {
            if (i + 1 == args.size() || !(duration = parseSeconds(args[i + 1])))
                return usageError(command, "--duration needs a number of seconds, 0 or more");
            ++i;
        } else if (arg.starts_with("--")) {
            return usageError(command, "unknown option '" + std::string(arg) + "'");
        } else if (arg.starts_with("-") && arg.size() > 1) {
            if (i + 1 == args.size()) return usageError(command, "setting '" + std::string(arg) + "' needs a value");
            launchArguments << QString::fromUtf8(arg.data(), static_cast<qsizetype>(arg.size()))
                            << QString::fromUtf8(args[i + 1].data(), static_cast<qsizetype>(args[i + 1].size()));
            ++i;
        } else {
            return usageError(command, "unexpected argument '" + std::string(arg) + "'");
        }
    }

    int argc = 1;
    char name[] = "quillmote-cli";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    LaunchSettings settings(launchArguments);
    DeviceStore store(settings, Calendar::current());
    // The radio, or only the paired devices during a replay.
    store.setScannerFactory([] { return std::make_unique<BluezScanner>(); });
    QObject::connect(&store, &DeviceStore::statusChanged, [&store, told = BluetoothProblem::none]() mutable {
        if (store.problem() == told) return;
        told = store.problem();
        if (told != BluetoothProblem::none) std::cerr << "quillmote-cli: " << problemLine(told) << '\n';
    });
    for (const auto& line : store.activity().setAside())
        std::cerr << "quillmote-cli: history: " << line << '\n';
    // Said once when saving stops, with the reason, and once when it works again.
    QObject::connect(&store.activity(), &ActivityMonitor::historySavingChanged, [&store] {
        const auto& problem = store.activity().historyProblem();
        const std::string folder = store.activity().history().folder().string();
        if (problem)
            std::cerr << "quillmote-cli: history not saved: " << folder << ": " << *problem
                      << " (kept in memory until it can be written)\n";
        else
            std::cerr << "quillmote-cli: history saved again: " << folder << '\n';
    });
    // Said once each time publishing meets a new problem.
    QObject::connect(&store, &DeviceStore::mqttChanged, [&store] {
        if (const auto* mqtt = store.mqtt(); mqtt && mqtt->problem())
            std::cerr << "quillmote-cli: MQTT: " << printableText(*mqtt->problem()) << '\n';
    });
    // Once a second, after that second's activity step, so `aroundNow` is the second's own.
    QObject::connect(&store, &DeviceStore::secondPassed, [&store, withRows] {
        std::cout << publishLine(store, withRows).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << '\n'
                  << std::flush;
    });
    try {
        store.start();
    } catch (const CaptureLaunchError& error) {
        std::cerr << error.what() << "\n";
        return exitFailure;
    }

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [&app] {
        if (stopRequested.load()) app.quit();
    });
    stopWatch.start(100);
    // QTimer counts milliseconds in an int (about 24.8 days), so a longer run re-arms
    // it until the end; a duration past any real run never ends it.
    QTimer endOfRun;
    endOfRun.setSingleShot(true);
    const auto startedAt = std::chrono::steady_clock::now();
    const auto left = [&] {
        return *duration - std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
    };
    const auto armEnd = [&] {
        endOfRun.start(static_cast<int>(std::ceil(std::clamp(left(), 0.0, longestTimerSeconds) * 1000)));
    };
    QObject::connect(&endOfRun, &QTimer::timeout, [&] {
        if (left() > 0) armEnd();
        else app.quit();
    });
    if (duration) armEnd();
    const int status = app.exec();
    store.finish();
    return status;
}

}  // namespace quillmote::cli
