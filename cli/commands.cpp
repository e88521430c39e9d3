#include "cli/commands.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>

#include "core/sightings/fixture.h"
#include "core/sightings/printable_text.h"

namespace quillmote::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> all = {
        {"fixture", "fixture FILE", "Read a capture file and print it back as a normalised capture.",
         "Reads the capture FILE (a JSON array of sightings, or a log as import reads it; '-'\n"
         "reads standard input) and writes it to standard output exactly as the capture writer\n"
         "writes it: keys sorted, pretty-printed, times in UTC with milliseconds, bytes as\n"
         "upper-case hex pairs.\n",
         runFixture},
        {"import", "import FILE [--output CAPTURE]", "Turn a Bluetooth log into a capture file.",
         "Reads FILE, a btsnoop log (btmon -w, Android's Bluetooth HCI snoop log), a pcap or pcapng\n"
         "file (Wireshark, BLE sniffers: HCI H4, Linux monitor or LE link layer) or a capture, told\n"
         "apart by content, and writes its advertisements as a capture to CAPTURE, or to standard\n"
         "output. Every command that reads a capture, and -replayPath, reads these logs as well.\n"
         "What cannot be read is skipped and counted, and the counts end the run on standard error:\n"
         "  12,041 advertisements from 187 devices; 3 truncated records skipped\n\n"
         "Options:\n"
         "  --output CAPTURE   the capture file to write (replaced only once complete)\n",
         runImport},
        {"identify", "identify FILE", "Identify each device of a capture file.",
         "Reads the capture FILE and, for each device key in order of first appearance, builds a\n"
         "device record from that key's sightings in file order. Prints a JSON array with, per\n"
         "device: deviceKey, displayName, packetCount, maker (when known), kind, label, certainty,\n"
         "evidence (\"Why we think this\") and details.\n",
         runIdentify},
        {"table", "table FILE [--seconds S]", "Replay a capture file through the device table and print the rows.",
         "Replays the capture FILE in simulated time, in ticks of 0.125 s starting at the first\n"
         "sighting's time and looping the capture, through the device table for S seconds\n"
         "(default: one loop). Prints one JSON object: endedAt, packetLogTotal, aliases (rotated\n"
         "address -> row) and rows in the order they were created, with identity, signal,\n"
         "proximity, distance, broadcast rate, freshness and recency at endedAt.\n\n"
         "Options:\n"
         "  --seconds S   how long to replay, in simulated seconds\n",
         runTable},
        {"activity", "activity FILE --minutes M", "Replay a capture file and print its per-minute activity.",
         "Replays the capture FILE in a loop, as table does, for M simulated minutes. Activity is\n"
         "sampled once a simulated second and rows silent for 300 s are tidied every ten minutes,\n"
         "as the application does. Prints the closed minutes as a history file: the header line,\n"
         "then one line per minute (minute_utc,observed_s,around,passing,arrived,left,moved).\n\n"
         "Options:\n"
         "  --minutes M   how long to replay, in simulated minutes\n",
         runActivity},
        {"find", "find FILE --key KEY [--seconds S]", "Follow one device of a capture file as Find this device does.",
         "Replays the capture FILE as table does and starts finding the device KEY at the first tick\n"
         "where its row exists. Prints one JSON line per simulated second: t, targetKey, status\n"
         "(searching, tracking, lost, reacquired, ambiguous), previousKey or candidates when the\n"
         "status carries them, rssi, trend (Warmer, Colder, Steady) and clicksPerSecond.\n\n"
         "Options:\n"
         "  --key KEY     the device to follow\n"
         "  --seconds S   how long to replay, in simulated seconds (default: one loop)\n",
         runFind},
        {"run", "run [-key value ...] [--rows] [--duration SECONDS]", "Run the device store without a window.",
         "Runs the application's store on the radio, or on a replay with -replayPath FILE, with\n"
         "the same launch settings as the window (-historyPath DIR, -usualOverride N, ...). Once a\n"
         "second, after that second's publish and activity count, it prints one JSON line: time,\n"
         "status, devices, visible, aroundNow, normal and alertsAllowed (once known). Stops on\n"
         "SIGINT or SIGTERM.\n\n"
         "Options:\n"
         "  --rows               add the published rows, in display order\n"
         "  --duration SECONDS   stop after that long\n",
         runRun},
        {"activity-page",
         "activity-page --historyPath DIR [--at TIME] [--range today|month] [--aroundNow N] [-usualOverride N]",
         "Print the activity page of a history folder.",
         "Reads the activity history in DIR as the application does at start, without changing\n"
         "anything in it, and prints what the activity page shows at TIME as one JSON object:\n"
         "summary, range, devicesAround, comingsAndGoings, unfamiliar, crowds and tooltips.\n"
         "Times and dates follow the process's time zone and locale (TZ, LC_TIME, LANG).\n"
         "A missing folder is an empty history.\n\n"
         "Options:\n"
         "  --historyPath DIR   the history folder\n"
         "  --at TIME           the moment to show, ISO 8601 (default: now)\n"
         "  --range R           today (default) or month, the last 30 days\n"
         "  --aroundNow N       devices around now (default 0)\n"
         "  -usualOverride N    a fixed usual level instead of the learned one\n",
         runActivityPage},
        {"bluez-status", "bluez-status", "Show whether Bluetooth is usable through BlueZ.",
         "Asks BlueZ on the system bus for its adapter, waiting up to 3 s for an answer, and prints\n"
         "one JSON object: status (starting: bluetoothd is not running; unsupported: no adapter;\n"
         "poweredOff, resetting, notAllowed or ready) and adapter (path, address and name, or null).\n"
         "It does not start a scan. Exits 1 when the system bus itself cannot be reached.\n",
         runBluezStatus},
    };
    return all;
}

std::string commandHelp(const Command& command) {
    return "Usage: quillmote-cli " + std::string(command.synopsis) + "\n\n" + std::string(command.summary) +
           "\n\n" + std::string(command.help);
}

int usageError(const Command& command, const std::string& message) {
    std::cerr << "quillmote-cli: " << message << "\n\n" << commandHelp(command);
    return exitUsage;
}

bool parseArgs(const Command& command, std::span<const std::string_view> args,
               std::span<const std::string_view> valueOptions, ParsedArgs& parsed, int& status) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << commandHelp(command);
            status = 0;
            return false;
        }
        if (arg.starts_with("-") && arg != "-") {
            if (std::find(valueOptions.begin(), valueOptions.end(), arg) == valueOptions.end()) {
                status = usageError(command, "unknown option '" + std::string(arg) + "'");
                return false;
            }
            if (i + 1 == args.size()) {
                status = usageError(command, "option '" + std::string(arg) + "' needs a value");
                return false;
            }
            parsed.options.emplace_back(arg, args[++i]);
            continue;
        }
        parsed.positional.push_back(arg);
    }
    return true;
}

bool readSightingsArgument(std::string_view file, SightingsFile& read) {
    const std::string shown = printableText(file);
    // Only reading that lasts over a second says how far it got, once a second.
    const auto started = std::chrono::steady_clock::now();
    auto said = started;
    std::error_code error;
    const auto size = file == "-" ? 0 : std::filesystem::file_size(std::string(file), error);
    const ReadProgress progress = [&](std::uint64_t bytes) {
        const auto now = std::chrono::steady_clock::now();
        if (now - started < std::chrono::seconds(1) || now - said < std::chrono::seconds(1)) return;
        said = now;
        std::cerr << "quillmote-cli: " << shown << ": reading, ";
        if (size > 0 && !error)
            std::cerr << std::min<std::uint64_t>(100, bytes * 100 / size) << "%\n";
        else
            std::cerr << (bytes >> 20) << " MB so far\n";
    };
    try {
        read = file == "-" ? readSightings(std::cin, progress) : readSightingsFile(std::string(file), progress);
        return true;
    } catch (const FixtureError& failure) {
        std::cerr << "quillmote-cli: " << shown << ": " << failure.what() << "\n";
        return false;
    }
}

bool readCapture(std::string_view file, std::vector<Sighting>& sightings) {
    SightingsFile read;
    if (!readSightingsArgument(file, read)) return false;
    if (read.counts) std::cerr << "quillmote-cli: " << printableText(file) << ": " << summary(*read.counts) << "\n";
    sightings = std::move(read.sightings);
    return true;
}

}  // namespace quillmote::cli
