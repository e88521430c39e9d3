#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "app/launch_settings.h"
#include "core/sightings/sighting.h"
#include "core/time/instant.h"

namespace quillmote {

// Writes what the radio delivered during the first seconds of a run to a capture
// file, once. The store feeds it every tick's drained sightings.
class CaptureRecorder {
public:
    // Bounds memory and the file's size.
    static constexpr std::size_t maximumSightings = 20000;
    static constexpr double defaultSeconds = 20.0;

    CaptureRecorder(std::filesystem::path path, Instant deadline);

    // From "capturePath" (relative to the temporary folder) and "captureSeconds"
    // (values not above 0 mean 20 s); none without a "capturePath".
    static std::optional<CaptureRecorder> fromLaunchArguments(const LaunchSettings& settings, Instant now);

    // Keeps the first sightings up to the cap; at or after the deadline writes the
    // file, replacing any old one. A failed write is not retried.
    void record(std::span<const Sighting> drained, Instant now);

    // The wall clock was set: the recording window keeps its length.
    void shiftDeadline(Instant::duration by) { deadline_ += by; }

    bool written() const { return written_; }
    const std::filesystem::path& path() const { return path_; }
    Instant deadline() const { return deadline_; }

private:
    std::filesystem::path path_;
    Instant deadline_;
    std::vector<Sighting> sightings_;
    bool written_ = false;

    void write() const;
};

}  // namespace quillmote
