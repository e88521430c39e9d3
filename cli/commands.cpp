#include "cli/commands.h"

#include <algorithm>
#include <iostream>

#include "core/sightings/fixture.h"

namespace quillmote::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> all = {
        {"fixture", "fixture FILE", "Read a capture file and print it back as a normalised capture.",
         "Reads the capture FILE (a JSON array of sightings; '-' reads standard input) and writes it\n"
         "to standard output exactly as the capture writer writes it: keys sorted, pretty-printed,\n"
         "times in UTC with milliseconds, bytes as upper-case hex pairs.\n",
         runFixture},
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

bool readCapture(std::string_view file, std::vector<Sighting>& sightings) {
    try {
        sightings = file == "-" ? Fixture::decode(std::cin) : Fixture::decodeFile(std::string(file));
        return true;
    } catch (const FixtureError& error) {
        std::cerr << "quillmote-cli: " << file << ": " << error.what() << "\n";
        return false;
    }
}

}  // namespace quillmote::cli
