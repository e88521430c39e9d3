// The scanner's side of the BlueZ flood measurement (run.sh drives it): a BluezScanner
// on DBUS_SYSTEM_BUS_ADDRESS whose buffer is drained eight times a second, as the
// store does. After the given seconds it prints, as JSON, how many device signals it
// turned into sightings and the process's CPU time (user + system, all threads:
// QtDBus's reader, the scanner thread and the drains) per signal.
#include <QCoreApplication>
#include <QTimer>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

#include "app/bluez_scanner.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 35.0;
    quillmote::SightingBuffer buffer;
    quillmote::BluezScanner scanner;
    scanner.start(buffer, [](quillmote::BluetoothStatus status) {
        std::fprintf(stderr, "status %s\n", std::string(quillmote::name(status)).c_str());
    });

    std::vector<quillmote::Sighting> drained;
    std::size_t total = 0;
    QTimer drain;
    QObject::connect(&drain, &QTimer::timeout, [&] {
        buffer.drain(drained);
        total += drained.size();
    });
    drain.start(125);

    const double cpuAtStart = cpuSeconds();
    const std::uint64_t countAtStart = scanner.sightingCount();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QCoreApplication::quit);
    app.exec();
    buffer.drain(drained);
    total += drained.size();

    const double cpu = cpuSeconds() - cpuAtStart;
    const std::uint64_t signals = scanner.sightingCount() - countAtStart;
    std::printf("{\"seconds\": %.1f, \"signals\": %llu, \"drained\": %zu, \"cpuSeconds\": %.3f, "
                "\"cpuMicrosecondsPerSignal\": %.2f, \"cpuPercentOfOneCore\": %.1f}\n",
                seconds, static_cast<unsigned long long>(signals), total, cpu,
                signals ? cpu * 1e6 / static_cast<double>(signals) : 0.0, cpu * 100.0 / seconds);
    return 0;
}
