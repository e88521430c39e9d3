#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

#include "cli/commands.h"
#include "core/sightings/fixture.h"
#include "core/sightings/printable_text.h"

namespace quillmote::cli {

namespace {

// Writes beside the target and renames, so an existing capture is replaced only by a
// complete one. Returns the reason on failure.
std::optional<std::string> writeWhole(const std::filesystem::path& target, const std::string& text) {
    std::filesystem::path temporary = target;
    temporary += ".part-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return std::strerror(errno);
        out << text;
        out.flush();
        if (!out) {
            const std::string reason = std::strerror(errno);
            std::filesystem::remove(temporary);
            return reason;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (!error) return std::nullopt;
    std::filesystem::remove(temporary);
    return error.message();
}

}  // namespace

int runImport(const Command& command, std::span<const std::string_view> args) {
    ParsedArgs parsed;
    int status = 0;
    constexpr std::string_view options[] = {"--output"};
    if (!parseArgs(command, args, options, parsed, status)) return status;
    if (parsed.positional.size() != 1) return usageError(command, "import needs exactly one FILE");
    std::optional<std::string_view> output;
    for (const auto& [name, value] : parsed.options) output = value;

    SightingsFile read;
    const auto started = std::chrono::steady_clock::now();
    if (!readSightingsArgument(parsed.positional.front(), read)) return exitFailure;
    // Writing takes as long again as reading: a long import keeps saying what it does.
    if (std::chrono::steady_clock::now() - started > std::chrono::seconds(1))
        std::cerr << "quillmote-cli: " << printableText(parsed.positional.front()) << ": read; writing "
                  << read.sightings.size() << " sightings\n";
    ImportCounts counts = read.counts.value_or(ImportCounts{});
    if (!read.counts) {
        std::set<std::string_view> keys;
        for (const auto& sighting : read.sightings) keys.insert(sighting.deviceKey);
        counts.advertisements = read.sightings.size();
        counts.devices = keys.size();
    }

    const std::string capture = Fixture::encode(read.sightings);
    if (output) {
        if (auto failure = writeWhole(std::string(*output), capture)) {
            std::cerr << "quillmote-cli: " << printableText(*output) << ": " << *failure << "\n";
            return exitFailure;
        }
    } else {
        std::cout << capture << std::flush;
        if (!std::cout) return exitFailure;
    }
    std::cerr << summary(counts) << "\n";
    return 0;
}

}  // namespace quillmote::cli
