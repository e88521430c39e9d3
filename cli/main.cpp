#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"

namespace {

using quillmote::cli::commands;

std::string overview() {
    std::string text =
        "Usage: quillmote-cli SUBCOMMAND [OPTIONS]\n       quillmote-cli --version\n\n"
        "Quillmote without a window: reads capture files and prints, as JSON, what the\n"
        "application makes of them.\n\nSubcommands:\n";
    for (const auto& command : commands()) {
        std::string synopsis(command.synopsis);
        synopsis.resize(std::max<std::size_t>(synopsis.size() + 2, 24), ' ');
        text += "  " + synopsis + std::string(command.summary) + "\n";
    }
    text += "\nRun 'quillmote-cli SUBCOMMAND --help' for what a subcommand does.\n";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << "quillmote-cli: no subcommand given\n\n" << overview();
        return quillmote::cli::exitUsage;
    }
    if (args.front() == "--version") {
        std::cout << "quillmote-cli " QUILLMOTE_VERSION "\n";
        return 0;
    }
    if (args.front() == "--help" || args.front() == "-h" || args.front() == "help") {
        std::cout << overview();
        return 0;
    }
    for (const auto& command : commands())
        if (command.name == args.front()) return command.run(command, std::span(args).subspan(1));
    std::cerr << "quillmote-cli: unknown subcommand '" << args.front() << "'\n\n" << overview();
    return quillmote::cli::exitUsage;
}
