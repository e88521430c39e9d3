#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/bluez_scanner.h"
#include "cli/commands.h"

namespace quillmote::cli {

namespace {

// How long bluetoothd gets to answer before the status is printed as it stands.
constexpr int settleMilliseconds = 3000;

}  // namespace

int runBluezStatus(const Command& command, std::span<const std::string_view> args) {
    ParsedArgs parsed;
    int status = 0;
    if (!parseArgs(command, args, {}, parsed, status)) return status;
    if (!parsed.positional.empty())
        return usageError(command, "unexpected argument '" + std::string(parsed.positional.front()) + "'");

    int argc = 1;
    char program[] = "quillmote-cli";
    char* argv[] = {program, nullptr};
    QCoreApplication app(argc, argv);

    // Only looks: without a buffer no discovery is started on the user's adapter.
    BluezScanner scanner;
    scanner.start(nullptr, [](BluetoothStatus, BluetoothProblem) {});
    QDeadlineTimer deadline(settleMilliseconds);
    while (!scanner.settled() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    if (const QString error = scanner.busError(); !error.isEmpty()) {
        std::cerr << "quillmote-cli: cannot reach the system bus: " << error.toStdString() << "\n";
        return exitFailure;
    }

    nlohmann::json out;
    out["status"] = name(scanner.status());
    if (const auto adapter = scanner.adapter()) {
        out["adapter"] = {{"address", adapter->address.toStdString()},
                          {"name", adapter->name.toStdString()},
                          {"path", adapter->path.toStdString()}};
    } else {
        out["adapter"] = nullptr;
    }
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return 0;
}

}  // namespace quillmote::cli
