#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/import/sightings_file.h"
#include "core/sightings/sighting.h"

namespace quillmote::cli {

// Exit statuses: 0 done, 1 a file could not be used, 2 the command line was wrong.
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

struct Command {
    std::string_view name;
    std::string_view synopsis;  // "fixture FILE"
    std::string_view summary;   // one line for the overview
    std::string_view help;      // the rest of the subcommand's --help
    std::function<int(const Command& self, std::span<const std::string_view> args)> run;
};

const std::vector<Command>& commands();

// Prints "quillmote-cli: <message>" and the command's help to standard error.
int usageError(const Command& command, const std::string& message);
std::string commandHelp(const Command& command);

// Splits a subcommand's arguments into positional ones, answering --help itself.
// Returns false (after printing what is needed) when the caller should stop with `status`.
struct ParsedArgs {
    std::vector<std::string_view> positional;
    std::vector<std::pair<std::string_view, std::string_view>> options;  // --name value
};
bool parseArgs(const Command& command, std::span<const std::string_view> args,
               std::span<const std::string_view> valueOptions, ParsedArgs& parsed, int& status);

// Reads a capture or a log ("-" for standard input), saying how far it got while that
// takes long. On failure prints "quillmote-cli: FILE: reason" to standard error and
// returns false.
bool readSightingsArgument(std::string_view file, SightingsFile& read);
// The same for the commands that only want the sightings; a log's counts are said on
// standard error.
bool readCapture(std::string_view file, std::vector<Sighting>& sightings);

int runFixture(const Command& command, std::span<const std::string_view> args);
int runImport(const Command& command, std::span<const std::string_view> args);
int runIdentify(const Command& command, std::span<const std::string_view> args);
int runTable(const Command& command, std::span<const std::string_view> args);
int runActivity(const Command& command, std::span<const std::string_view> args);
int runFind(const Command& command, std::span<const std::string_view> args);
int runRun(const Command& command, std::span<const std::string_view> args);
int runActivityPage(const Command& command, std::span<const std::string_view> args);
int runBluezStatus(const Command& command, std::span<const std::string_view> args);

}  // namespace quillmote::cli
