#include "core/import/log_import.h"

#include <algorithm>
#include <chrono>

#include "core/import/byte_order.h"
#include "core/import/log_format.h"
#include "core/import/packet_decoder.h"
#include "core/sightings/printable_text.h"

namespace quillmote {

namespace {

constexpr std::uint64_t skipStep = std::uint64_t(1) << 20;
// A section names an interface per adapter or sniffer; thousands are a flood, not a log.
constexpr std::size_t maxInterfaces = 1024;

// A clock that was never set stamps 1970, or year 0 in btsnoop; past 2100 a stamp is
// corrupt. Either would put a sighting where no timeline reaches, so its record is skipped.
constexpr std::int64_t earliestSeconds = 946'684'800;   // 2000-01-01 UTC
constexpr std::int64_t latestSeconds = 4'102'444'800;   // 2100-01-01 UTC

std::optional<Instant> timeOf(std::int64_t seconds, std::int64_t micros) {
    if (seconds < earliestSeconds || seconds >= latestSeconds) return std::nullopt;
    return Instant(std::chrono::seconds(seconds)) + std::chrono::microseconds(micros);
}

std::uint16_t u16(ByteView b, std::size_t at, bool big) { return static_cast<std::uint16_t>(numberAt(b, at, 2, big)); }
std::uint32_t u32(ByteView b, std::size_t at, bool big) { return static_cast<std::uint32_t>(numberAt(b, at, 4, big)); }
std::uint64_t u64(ByteView b, std::size_t at, bool big) { return numberAt(b, at, 8, big); }

// How a record's bytes begin, by the file's link type: a bare HCI event, an H4 packet
// (behind a 4-byte direction), a Linux monitor header, or a link-layer pseudo-header.
enum class Link { event, h4, h4WithDirection, monitor, linkLayer, other };

Link pcapLink(std::uint32_t linkType) {
    switch (linkType & 0xFFFF) {  // the upper bits may describe a frame check sequence
        case 187: return Link::h4;
        case 201: return Link::h4WithDirection;
        case 254: return Link::monitor;
        case 256: return Link::linkLayer;
        default: return Link::other;
    }
}

// A pcapng interface: its link type and how its timestamps count.
struct Interface {
    Link link = Link::other;
    bool binary = false;       // ticks are 2^-exponent seconds, else 10^-exponent
    std::uint8_t exponent = 6;
    std::int64_t offsetSeconds = 0;

    std::optional<Instant> time(std::uint64_t ticks) const {
        std::uint64_t seconds = 0, micros = 0;
        if (binary) {
            if (exponent >= 64) return std::nullopt;  // a second is more than 64 bits of ticks
            seconds = ticks >> exponent;
            const std::uint64_t fraction = ticks - (seconds << exponent);
            micros = exponent <= 44 ? (fraction * 1'000'000) >> exponent
                                    : ((fraction >> (exponent - 44)) * 1'000'000) >> 44;
        } else {
            if (exponent > 19) return std::nullopt;
            const auto power = [](int e) {
                std::uint64_t p = 1;
                while (e-- > 0) p *= 10;
                return p;
            };
            seconds = ticks / power(exponent);
            const std::uint64_t fraction = ticks % power(exponent);
            micros = exponent <= 6 ? fraction * power(6 - exponent) : fraction / power(exponent - 6);
        }
        constexpr std::int64_t far = std::int64_t(1) << 62;  // no overflow in the sum below
        return timeOf(static_cast<std::int64_t>(std::min<std::uint64_t>(seconds, far)) +
                          std::clamp(offsetSeconds, -far, far),
                      static_cast<std::int64_t>(micros));
    }
};

// The stream in bounded pieces.
class Input {
public:
    explicit Input(std::istream& in) : in_(in) {}

    // Exactly `count` bytes into `buffer`; false when the file ends first.
    bool read(Bytes& buffer, std::size_t count) {
        buffer.resize(count);
        in_.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(count));
        buffer.resize(static_cast<std::size_t>(in_.gcount()));
        return buffer.size() == count;
    }

    bool skip(std::uint64_t count) {
        while (count > 0) {
            const auto chunk = static_cast<std::streamsize>(std::min(count, skipStep));
            in_.ignore(chunk);
            const auto skipped = in_.gcount();
            if (skipped < chunk) return false;
            count -= static_cast<std::uint64_t>(skipped);
        }
        return true;
    }

    void finish() {
        if (in_.bad()) throw LogImportError("the file could not be read to its end");
    }

private:
    std::istream& in_;
};

class LogReader {
public:
    explicit LogReader(std::istream& in) : input_(in) {}

    ImportedLog read() {
        Bytes start;
        input_.read(start, 16);
        if (start.empty()) throw LogImportError("the file is empty");
        const auto format = logFormatOf(start);
        if (!format) throw LogImportError("not a Bluetooth log: neither btsnoop, pcap nor pcapng");
        switch (*format) {
            case LogFormat::capture: throw LogImportError("a capture, not a Bluetooth log");
            case LogFormat::btsnoop: btsnoop(start); break;
            case LogFormat::pcap: pcap(std::move(start)); break;
            case LogFormat::pcapng: pcapng(std::move(start)); break;
        }
        input_.finish();
        return {decoder_.takeSightings(), counts_};
    }

private:
    Input input_;
    ImportCounts counts_;
    PacketDecoder decoder_{counts_};
    Bytes record_;

    enum class Body { read, skipped, fileEnded };

    // A record's bytes into record_, unless they are too long to hold.
    Body body(std::uint64_t length) {
        if (length > maxRecordBytes) {
            if (!input_.skip(length)) {
                ++counts_.truncatedRecords;
                return Body::fileEnded;
            }
            ++counts_.oversizedRecords;
            return Body::skipped;
        }
        if (!input_.read(record_, static_cast<std::size_t>(length))) {
            ++counts_.truncatedRecords;
            return Body::fileEnded;
        }
        return Body::read;
    }

    // A record header; false at the end of the file, counting a header cut short.
    bool header(Bytes& into, std::size_t size) {
        if (input_.read(into, size)) return true;
        if (!into.empty()) ++counts_.truncatedRecords;
        return false;
    }

    // One record: its link type picks out an HCI event or a link-layer packet, and
    // only those need a plausible time.
    void frame(Link link, std::optional<Instant> time, ByteView bytes) {
        if (link == Link::other) {
            ++counts_.otherLinkTypes;
            return;
        }
        const bool h4 = link == Link::h4 || link == Link::h4WithDirection;
        const std::size_t pseudoHeader = link == Link::h4WithDirection || link == Link::monitor ? 4 : 0;
        if (bytes.size() < pseudoHeader + (h4 ? 1 : 0)) {
            ++counts_.damagedRecords;
            return;
        }
        if (h4 && bytes[pseudoHeader] != 0x04) return;                // H4: 4 is an event
        if (link == Link::monitor && u16(bytes, 2, true) != 3) return;  // monitor opcode 3: an event
        if (!time) {
            ++counts_.impossibleTimes;
            return;
        }
        if (link == Link::linkLayer) decoder_.linkLayer(bytes, *time);
        else decoder_.hciEvent(bytes.subspan(pseudoHeader + (h4 ? 1 : 0)), *time);
    }

    void btsnoop(ByteView start) {
        if (start.size() < 16) throw LogImportError("the btsnoop header is cut short");
        if (const auto version = u32(start, 8, true); version != 1)
            throw LogImportError("btsnoop version " + std::to_string(version) + " is not read");
        const std::uint32_t datalink = u32(start, 12, true);
        constexpr std::int64_t unixEpoch = 0x00dcddb30f2f8000;  // microseconds from year 0
        Bytes h;
        while (header(h, 24)) {
            const Body got = body(u32(h, 4, true));
            if (got == Body::fileEnded) return;
            if (got == Body::skipped) continue;
            const std::uint32_t flags = u32(h, 8, true);
            const auto stamp = static_cast<std::int64_t>(u64(h, 16, true));
            const std::int64_t sinceUnix = stamp < unixEpoch ? -1 : stamp - unixEpoch;
            const auto time = sinceUnix < 0 ? std::nullopt : timeOf(sinceUnix / 1'000'000, sinceUnix % 1'000'000);
            switch (datalink) {
                case 1001:  // bare HCI: the flags say received (bit 0) and command or event (bit 1)
                    if ((flags & 3) == 3) frame(Link::event, time, record_);
                    break;
                case 1002: frame(Link::h4, time, record_); break;
                case 2001:  // Linux monitor: the opcode in the flags' low half, 3 for an event
                    if ((flags & 0xFFFF) == 3) frame(Link::event, time, record_);
                    break;
                default: frame(Link::other, time, record_);
            }
        }
    }

    void pcap(Bytes start) {
        Bytes rest;
        if (!input_.read(rest, 24 - start.size())) throw LogImportError("the pcap header is cut short");
        start.insert(start.end(), rest.begin(), rest.end());
        const std::uint32_t magic = u32(start, 0, false);
        const bool big = magic != 0xA1B2C3D4 && magic != 0xA1B23C4D;
        const bool nanoseconds = u32(start, 0, big) == 0xA1B23C4D;
        const Link link = pcapLink(u32(start, 20, big));
        Bytes h;
        while (header(h, 16)) {
            const Body got = body(u32(h, 8, big));
            if (got == Body::fileEnded) return;
            if (got == Body::skipped) continue;
            const std::uint32_t fraction = u32(h, 4, big);
            frame(link, timeOf(u32(h, 0, big), nanoseconds ? fraction / 1000 : fraction), record_);
        }
    }

    void pcapng(Bytes start) {
        bool big = false;
        std::vector<Interface> interfaces;
        Bytes h = std::move(start);
        for (bool first = true; first || header(h, 8); first = false) {
            if (u32(h, 0, false) == 0x0A0D0D0A) {
                const auto order = section(h);
                if (!order) return;
                big = *order;
                interfaces.clear();
                continue;
            }
            const std::uint32_t type = u32(h, 0, big), length = u32(h, 4, big);
            // The next block is found by this length alone; without it the rest is lost.
            if (length < 12 || length % 4 != 0) {
                ++counts_.damagedRecords;
                return;
            }
            if (type != 1 && type != 6) {
                if (!input_.skip(length - 8)) {
                    ++counts_.truncatedRecords;
                    return;
                }
                continue;
            }
            const Body got = body(length - 8);
            if (got == Body::fileEnded) return;
            const ByteView block = got == Body::read ? ByteView(record_).first(length - 12) : ByteView{};
            if (type == 1 && interfaces.size() == maxInterfaces) ++counts_.damagedRecords;
            else if (type == 1) interfaces.push_back(describedInterface(block, big));
            else if (got == Body::read) packet(block, big, interfaces);
        }
    }

    // A section header block, its first bytes in `h`: whether the section is big-endian,
    // absent when nothing after it can be found.
    std::optional<bool> section(Bytes& h) {
        Bytes more;
        if (!input_.read(more, 16 - h.size())) {
            ++counts_.truncatedRecords;
            return std::nullopt;
        }
        h.insert(h.end(), more.begin(), more.end());
        const std::uint32_t mark = u32(h, 8, false);
        const bool big = mark == 0x4D3C2B1A;
        const std::uint32_t length = u32(h, 4, big);
        if ((mark != 0x1A2B3C4D && !big) || length < 28 || length % 4 != 0) {
            ++counts_.damagedRecords;
            return std::nullopt;
        }
        if (const auto major = u16(h, 12, big); major != 1)
            throw LogImportError("pcapng version " + std::to_string(major) + " is not read");
        if (!input_.skip(length - 16)) {
            ++counts_.truncatedRecords;
            return std::nullopt;
        }
        return big;
    }

    Interface describedInterface(ByteView block, bool big) {
        Interface described;
        if (block.size() < 8) {
            if (!block.empty()) ++counts_.damagedRecords;
            return described;  // oversized or damaged: its packets are not read
        }
        described.link = pcapLink(u16(block, 0, big));
        for (std::size_t at = 8; at + 4 <= block.size();) {
            const std::uint16_t code = u16(block, at, big), size = u16(block, at + 2, big);
            const ByteView value = bytesFrom(block, at + 4, size);
            if (code == 0) break;
            if (code == 9 && !value.empty()) {
                described.binary = value[0] & 0x80;
                described.exponent = value[0] & 0x7F;
            }
            if (code == 14 && value.size() == 8)
                described.offsetSeconds = static_cast<std::int64_t>(u64(value, 0, big));
            at += 4 + (std::size_t(size) + 3) / 4 * 4;
        }
        return described;
    }

    void packet(ByteView block, bool big, const std::vector<Interface>& interfaces) {
        if (block.size() < 20 || u32(block, 0, big) >= interfaces.size() || u32(block, 12, big) > block.size() - 20) {
            ++counts_.damagedRecords;
            return;
        }
        const Interface& on = interfaces[u32(block, 0, big)];
        const std::uint64_t ticks = std::uint64_t(u32(block, 4, big)) << 32 | u32(block, 8, big);
        frame(on.link, on.link == Link::other ? std::nullopt : on.time(ticks), block.subspan(20, u32(block, 12, big)));
    }
};

}  // namespace

LogImportError::LogImportError(std::string_view reason) : std::runtime_error(printableText(reason)) {}

ImportedLog importLog(std::istream& in) {
    return LogReader(in).read();
}

}  // namespace quillmote
