// The scanner's side of the BlueZ flood measurement (run.sh drives it): a BluezScanner
// on DBUS_SYSTEM_BUS_ADDRESS whose buffer is drained eight times a second, as the
// store does. After the given seconds it prints, as JSON, how many device signals it
// turned into sightings, the process's CPU time (user + system, all threads: the
// scanner thread and the drains) per signal, each thread's share by thread name (over
// the whole run, start-up included), and how long stopping the scanner took.
#include <QCoreApplication>
#include <QTimer>
#include <sys/resource.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/bluez_scanner.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU seconds by thread name, from /proc/self/task/*/stat (utime + stime).
std::map<std::string, double> cpuByThread() {
    std::map<std::string, double> result;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream statFile(task.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(statFile)), {});
        const auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        const std::string name = stat.substr(open + 1, close - open - 1);
        std::istringstream rest(stat.substr(close + 2));
        std::string field;
        double utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14) utime = std::stod(field);
            if (i == 15) stime = std::stod(field);
        }
        result[name] += (utime + stime) / ticks;
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 35.0;
    auto buffer = std::make_shared<quillmote::SightingBuffer>();
    auto scanner = std::make_unique<quillmote::BluezScanner>();
    scanner->start(buffer, [](quillmote::BluetoothStatus status, quillmote::BluetoothProblem) {
        std::fprintf(stderr, "status %s\n", std::string(quillmote::name(status)).c_str());
    });

    std::vector<quillmote::Sighting> drained;
    std::size_t total = 0;
    QTimer drain;
    QObject::connect(&drain, &QTimer::timeout, [&] {
        buffer->drain(drained);
        total += drained.size();
    });
    drain.start(125);

    const double cpuAtStart = cpuSeconds();
    const std::uint64_t countAtStart = scanner->sightingCount();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QCoreApplication::quit);
    app.exec();
    buffer->drain(drained);
    total += drained.size();

    const double cpu = cpuSeconds() - cpuAtStart;
    const std::uint64_t heard = scanner->sightingCount() - countAtStart;
    const auto threads = cpuByThread();
    const auto stopping = std::chrono::steady_clock::now();
    scanner.reset();
    const std::chrono::duration<double, std::milli> stopped = std::chrono::steady_clock::now() - stopping;
    std::printf("{\"seconds\": %.1f, \"signals\": %llu, \"drained\": %zu, \"cpuSeconds\": %.3f, "
                "\"cpuMicrosecondsPerSignal\": %.2f, \"cpuMicrosecondsPerSignalByThread\": {",
                seconds, static_cast<unsigned long long>(heard), total, cpu,
                heard ? cpu * 1e6 / static_cast<double>(heard) : 0.0);
    const char* separator = "";
    for (const auto& [thread, threadCpu] : threads) {
        std::printf("%s\"%s\": %.2f", separator, thread.c_str(),
                    heard ? threadCpu * 1e6 / static_cast<double>(heard) : 0.0);
        separator = ", ";
    }
    std::printf("}, \"stopMilliseconds\": %.1f}\n", stopped.count());
    return 0;
}
