#include "app/capture_player.h"

#include <QFile>
#include <chrono>
#include <filesystem>

#include "core/import/sightings_file.h"
#include "core/sightings/fixture.h"
#include "core/sightings/printable_text.h"

namespace quillmote {

CaptureLaunchError::CaptureLaunchError(const QString& path, const std::string& reason)
    : std::runtime_error("-replayPath " + printableText(path.toStdString()) +
                         " couldn't be read as a capture: " + reason),
      path_(path),
      reason_(reason) {}

CapturePlayer::CapturePlayer(CaptureReplay replay, SightingBuffer& buffer, QObject* parent)
    : QObject(parent), replay_(std::move(replay)), buffer_(buffer) {
    timer_.setInterval(intervalMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &CapturePlayer::deliverDue);
}

std::unique_ptr<CapturePlayer> CapturePlayer::fromLaunchArguments(const LaunchSettings& settings,
                                                                  SightingBuffer& buffer) {
    auto given = settings.text("replayPath");
    if (!given) return nullptr;
    std::vector<Sighting> sightings;
    try {
        // Relative paths open against the current folder, as the user typed them.
        // A log another tool wrote replays as well as a capture does.
        sightings = readSightingsFile(std::filesystem::path(QFile::encodeName(*given).toStdString())).sightings;
    } catch (const FixtureError& error) {
        throw CaptureLaunchError(*given, error.what());
    }
    return std::make_unique<CapturePlayer>(CaptureReplay(std::move(sightings)), buffer);
}

void CapturePlayer::start(Instant now) {
    if (timer_.isActive()) return;
    startedAt_ = now;
    // Elapsed time comes from the monotonic clock, so a change of the wall clock
    // neither skips nor repeats part of the capture.
    clock_.start();
    previous_ = -1.0;
    deliverDue();
    timer_.start();
}

void CapturePlayer::deliverDue() {
    double elapsed = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
    due_.clear();
    replay_.appendSightings(previous_, elapsed, startedAt_, due_);
    for (auto& sighting : due_) buffer_.append(std::move(sighting));
    previous_ = elapsed;
}

}  // namespace quillmote
