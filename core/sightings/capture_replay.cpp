#include "core/sightings/capture_replay.h"

#include <algorithm>
#include <cmath>

namespace quillmote {

CaptureReplay::CaptureReplay(std::vector<Sighting> sightings) : sightings_(std::move(sightings)) {
    std::stable_sort(sightings_.begin(), sightings_.end(),
                     [](const Sighting& a, const Sighting& b) { return a.time < b.time; });
    if (sightings_.empty()) return;
    Instant start = sightings_.front().time;
    offsets_.reserve(sightings_.size());
    for (const auto& s : sightings_) offsets_.push_back(secondsBetween(start, s.time));
    loopLength_ = offsets_.back() + 1.0;
}

std::vector<Sighting> CaptureReplay::sightings(double after, double upTo, Instant startedAt) const {
    std::vector<Sighting> out;
    appendSightings(after, upTo, startedAt, out);
    return out;
}

void CaptureReplay::appendSightings(double after, double upTo, Instant startedAt,
                                    std::vector<Sighting>& out) const {
    if (sightings_.empty() || !(after < upTo)) return;
    const double length = loopLength_;
    const auto firstLoop = static_cast<long long>(std::floor(std::max(after, 0.0) / length));
    const auto lastLoop = static_cast<long long>(std::floor(std::max(upTo, 0.0) / length));
    for (long long loop = firstLoop; loop <= lastLoop; ++loop) {
        const double base = static_cast<double>(loop) * length;
        // Moments grow with the offsets, so the window is one contiguous run;
        // the bounds compare the very sums the window is defined by.
        auto begin = std::upper_bound(offsets_.begin(), offsets_.end(), after,
                                      [base](double a, double offset) { return a < base + offset; });
        auto end = std::upper_bound(begin, offsets_.end(), upTo,
                                    [base](double u, double offset) { return u < base + offset; });
        for (auto it = begin; it != end; ++it) {
            auto index = static_cast<std::size_t>(it - offsets_.begin());
            Sighting& copy = out.emplace_back(sightings_[index]);
            copy.time = addingSeconds(startedAt, base + *it);
        }
    }
}

}  // namespace quillmote
