#include "app/capture_recorder.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <exception>

#include "core/sightings/fixture.h"

namespace quillmote {

CaptureRecorder::CaptureRecorder(std::filesystem::path path, Instant deadline)
    : path_(std::move(path)), deadline_(deadline) {}

std::optional<CaptureRecorder> CaptureRecorder::fromLaunchArguments(const LaunchSettings& settings, Instant now) {
    auto given = settings.text("capturePath");
    if (!given) return std::nullopt;
    double seconds = settings.real("captureSeconds");
    if (!(seconds > 0)) seconds = defaultSeconds;
    // An absolute path is kept as it is; filePath only joins relative ones.
    QString resolved = QDir(QDir::tempPath()).filePath(*given);
    return CaptureRecorder(std::filesystem::path(QFile::encodeName(resolved).toStdString()),
                           addingSeconds(now, seconds));
}

void CaptureRecorder::record(std::span<const Sighting> drained, Instant now) {
    if (written_) return;
    std::size_t room = maximumSightings - sightings_.size();
    std::size_t taken = std::min(room, drained.size());
    sightings_.insert(sightings_.end(), drained.begin(), drained.begin() + static_cast<std::ptrdiff_t>(taken));
    if (now < deadline_) return;
    written_ = true;
    write();
    // Nothing more is recorded, so the memory can go.
    std::vector<Sighting>().swap(sightings_);
}

void CaptureRecorder::write() const {
    try {
        std::string bytes = Fixture::encode(sightings_);
        // Written beside the target and renamed over it, so a reader never sees
        // half a capture.
        QSaveFile file(QFile::decodeName(path_.c_str()));
        if (!file.open(QIODevice::WriteOnly)) return;
        if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
            file.cancelWriting();
            file.commit();
            return;
        }
        file.commit();
    } catch (const std::exception&) {
        // A capture is a convenience; failing to write one must not disturb the run.
    }
}

}  // namespace quillmote
