#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/launch_settings.h"
#include "core/sightings/capture_replay.h"
#include "core/sightings/sighting_buffer.h"
#include "core/time/instant.h"

namespace quillmote {

// A "replayPath" that could not be read or decoded: the run must stop before
// scanning. what() is the message for the user.
class CaptureLaunchError : public std::runtime_error {
public:
    CaptureLaunchError(const QString& path, const std::string& reason);

    const QString& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    QString path_;
    std::string reason_;
};

// Feeds a looping capture into the sighting buffer in place of the radio.
class CapturePlayer : public QObject {
    Q_OBJECT
public:
    static constexpr int intervalMilliseconds = 100;

    CapturePlayer(CaptureReplay replay, SightingBuffer& buffer, QObject* parent = nullptr);

    // None without a "replayPath"; a relative path is taken from the current
    // folder. Throws CaptureLaunchError when the file can't be read as a capture.
    static std::unique_ptr<CapturePlayer> fromLaunchArguments(const LaunchSettings& settings, SightingBuffer& buffer);

    // Starts the loop at the wall-clock moment `now`; it runs until the player is
    // destroyed. Later calls do nothing.
    void start(Instant now);
    // The wall clock was set: replayed sightings are stamped on the new clock.
    void shiftTimes(Instant::duration by) { startedAt_ += by; }

    bool isStarted() const { return timer_.isActive(); }
    // The wall-clock moment the replay counts from; replayed sightings are re-timed from it.
    Instant startedAt() const { return startedAt_; }
    const CaptureReplay& replay() const { return replay_; }

private:
    CaptureReplay replay_;
    SightingBuffer& buffer_;
    QTimer timer_;
    QElapsedTimer clock_;
    Instant startedAt_{};
    // -1 so that sightings at offset 0 are due on the first pass.
    double previous_ = -1.0;
    std::vector<Sighting> due_;

    void deliverDue();
};

}  // namespace quillmote
