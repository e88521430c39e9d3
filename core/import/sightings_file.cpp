#include "core/import/sightings_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <streambuf>

#include "core/import/log_format.h"
#include "core/import/log_import.h"
#include "core/sightings/fixture.h"

namespace quillmote {

namespace {

// Reads another stream in pieces, counting what passes for the progress. Its first
// bytes can be looked at before either reader starts, which a pipe cannot rewind for.
class CountingBuffer : public std::streambuf {
public:
    CountingBuffer(std::istream& source, const ReadProgress& progress) : source_(source), progress_(progress) {
        setg(buffer_.data(), buffer_.data(), buffer_.data());
    }

    ByteView peek(std::size_t count) {
        while (std::size_t(egptr() - gptr()) < count && fill()) {
        }
        return {reinterpret_cast<const std::uint8_t*>(gptr()), std::min(count, std::size_t(egptr() - gptr()))};
    }

protected:
    int_type underflow() override {
        if (gptr() == egptr() && !fill()) return traits_type::eof();
        return traits_type::to_int_type(*gptr());
    }

private:
    static constexpr std::size_t chunk = 1 << 16;
    static constexpr std::uint64_t progressEvery = 1 << 20;

    // Appends the next piece after what is still unread; false at the end.
    bool fill() {
        const std::size_t unread = std::size_t(egptr() - gptr());
        if (std::size_t(egptr() - buffer_.data()) + chunk > buffer_.size()) {
            std::memmove(buffer_.data(), gptr(), unread);
            setg(buffer_.data(), buffer_.data(), buffer_.data() + unread);
        }
        source_.read(egptr(), static_cast<std::streamsize>(chunk));
        const auto got = static_cast<std::size_t>(source_.gcount());
        if (got == 0) return false;
        setg(eback(), gptr(), egptr() + got);
        total_ += got;
        if (progress_ && total_ / progressEvery != (total_ - got) / progressEvery) progress_(total_);
        return true;
    }

    std::istream& source_;
    const ReadProgress& progress_;
    std::array<char, 2 * chunk> buffer_{};
    std::uint64_t total_ = 0;
};

// A JSON document of another shape: the capture reader says best what is wrong with it.
bool looksLikeJsonObject(ByteView first) {
    const auto text = std::find_if(first.begin(), first.end(), [](std::uint8_t c) { return !std::isspace(c); });
    return text != first.end() && *text == '{';
}

}  // namespace

SightingsFile readSightings(std::istream& in, const ReadProgress& progress) {
    CountingBuffer buffer(in, progress);
    const ByteView first = buffer.peek(16);
    const auto format = logFormatOf(first);
    std::istream counted(&buffer);
    if (format == LogFormat::capture || looksLikeJsonObject(first)) return {Fixture::decode(counted), std::nullopt};
    if (!format) throw FixtureError("not a capture, nor a btsnoop, pcap or pcapng log");
    try {
        auto log = importLog(counted);
        return {std::move(log.sightings), log.counts};
    } catch (const LogImportError& error) {
        throw FixtureError(error.what());
    }
}

SightingsFile readSightingsFile(const std::filesystem::path& path, const ReadProgress& progress) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw FixtureError("it is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FixtureError(std::strerror(errno));
    // A capture is read whole into memory, so one too large is refused before reading.
    std::array<char, 16> first{};
    in.read(first.data(), first.size());
    const ByteView start(reinterpret_cast<const std::uint8_t*>(first.data()), std::size_t(in.gcount()));
    if (const auto size = std::filesystem::file_size(path, error);
        !error && size > Fixture::maxBytes && logFormatOf(start) == LogFormat::capture)
        throw FixtureError("too large: " + std::to_string(size >> 20) + " MB, at most " +
                           std::to_string(Fixture::maxBytes >> 20) + " MB");
    in.clear();
    in.seekg(0);
    return readSightings(in, progress);
}

}  // namespace quillmote
