#include "core/import/log_import.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "core/import/log_format.h"
#include "core/sightings/fixture.h"

// Expected advertisements name only the fields they have; the rest stay empty on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace quillmote {
namespace {

using namespace std::chrono;

const Instant t0 = sys_days(2026y / March / 1) + 14h;

Bytes hex(std::string_view text) { return *bytesFromHex(text); }

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes number(std::uint64_t value, int size, bool big = true) {
    Bytes out(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        out[static_cast<std::size_t>(big ? size - 1 - i : i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return out;
}

std::uint64_t micros(Instant time) { return static_cast<std::uint64_t>(time.time_since_epoch().count()); }

// An address as written, in the order it travels: least significant byte first.
Bytes air(std::string_view address) {
    Bytes bytes = hex(address);
    return Bytes(bytes.rbegin(), bytes.rend());
}

Bytes sized(const Bytes& data) { return number(data.size(), 1) + data; }

// An LE Meta event holding the given reports.
Bytes event(std::uint8_t subevent, std::vector<Bytes> reports) {
    Bytes parameters{subevent, static_cast<std::uint8_t>(reports.size())};
    for (const auto& report : reports) parameters = parameters + report;
    return Bytes{0x3E} + sized(parameters);
}
Bytes legacy(std::uint8_t type, std::string_view address, const Bytes& data, std::int8_t rssi) {
    return Bytes{type, 0} + air(address) + sized(data) + number(static_cast<std::uint8_t>(rssi), 1);
}
Bytes extended(std::uint16_t type, std::string_view address, const Bytes& data, std::int8_t rssi,
               std::uint8_t addressType = 1) {
    return number(type, 2, false) + Bytes{addressType} + air(address) +
           Bytes{1, 0, 0xFF, 0x7F, static_cast<std::uint8_t>(rssi), 0, 0, 0, 0, 0, 0, 0, 0, 0} + sized(data);
}
Bytes directed(std::string_view address, std::int8_t rssi) {
    return Bytes{1, 0} + air(address) + Bytes{0} + air("11:22:33:44:55:66") +
           number(static_cast<std::uint8_t>(rssi), 1);
}

// A link-layer packet on an advertising channel behind its pseudo-header.
Bytes linkLayer(std::uint8_t type, const Bytes& payload, std::optional<std::int8_t> rssi,
                std::uint32_t accessAddress = 0x8E89BED6, std::uint16_t crc = 0x0C00) {
    return Bytes{37, static_cast<std::uint8_t>(rssi.value_or(-40)), 0, 0} + number(accessAddress, 4, false) +
           number((rssi ? 0x0002 : 0) | 0x0011 | crc, 2, false) + number(accessAddress, 4, false) + Bytes{type} +
           sized(payload) + hex("AA BB CC");
}

struct Record {
    Instant time;
    Bytes bytes;
    std::uint32_t flags = 0;
};

Bytes btsnoop(std::uint32_t datalink, const std::vector<Record>& records) {
    Bytes out = Bytes{'b', 't', 's', 'n', 'o', 'o', 'p', 0} + number(1, 4) + number(datalink, 4);
    for (const auto& r : records)
        out = out + number(r.bytes.size(), 4) + number(r.bytes.size(), 4) + number(r.flags, 4) + number(0, 4) +
              number(micros(r.time) + 0x00dcddb30f2f8000, 8) + r.bytes;
    return out;
}

Bytes pcap(std::uint32_t link, const std::vector<Record>& records, bool big = false, bool nano = false) {
    Bytes out = number(nano ? 0xA1B23C4D : 0xA1B2C3D4, 4, big) + number(2, 2, big) + number(4, 2, big) +
                number(0, 8) + number(65535, 4, big) + number(link, 4, big);
    for (const auto& r : records) {
        const std::uint64_t us = micros(r.time);
        out = out + number(us / 1'000'000, 4, big) + number(us % 1'000'000 * (nano ? 1000 : 1), 4, big) +
              number(r.bytes.size(), 4, big) + number(r.bytes.size(), 4, big) + r.bytes;
    }
    return out;
}

Bytes block(std::uint32_t type, const Bytes& body, bool big) {
    Bytes padded = body;
    padded.resize((body.size() + 3) / 4 * 4);
    return number(type, 4, big) + number(padded.size() + 12, 4, big) + padded + number(padded.size() + 12, 4, big);
}

// One section with one interface; `resolution` as if_tsresol (microseconds when absent)
// and times counted from `offsetSeconds` past 1970, and a block of another kind before the packets, to be passed over.
Bytes pcapng(std::uint16_t link, const std::vector<Record>& records, bool big = false,
             std::optional<std::uint8_t> resolution = std::nullopt, std::uint64_t offsetSeconds = 0) {
    Bytes out =
        block(0x0A0D0D0A, number(0x1A2B3C4D, 4, big) + number(1, 2, big) + number(0, 2, big) + number(~0ull, 8), big);
    Bytes options = resolution ? number(9, 2, big) + number(1, 2, big) + Bytes{*resolution, 0, 0, 0} : Bytes{};
    if (offsetSeconds > 0) options = options + number(14, 2, big) + number(8, 2, big) + number(offsetSeconds, 8, big);
    out = out + block(1, number(link, 2, big) + number(0, 2) + number(0, 4) + options + number(0, 4), big);
    out = out + block(4, number(0, 4), big);  // name resolution: no records
    for (const auto& r : records) {
        const std::uint64_t us = micros(r.time) - offsetSeconds * 1'000'000;
        const std::uint64_t ticks = resolution == 9      ? us * 1000
                                    : resolution == 0x94 ? (us / 1'000'000 << 20) + (us % 1'000'000 << 20) / 1'000'000
                                                         : us;
        out = out + block(6, number(0, 4, big) + number(ticks >> 32, 4, big) + number(ticks & 0xFFFFFFFF, 4, big) +
                                 number(r.bytes.size(), 4, big) + number(r.bytes.size(), 4, big) + r.bytes, big);
    }
    return out;
}

ImportedLog imported(const Bytes& file) {
    std::istringstream in(std::string(file.begin(), file.end()));
    return importLog(in);
}

std::string outcome(const Bytes& file) {
    try {
        return summary(imported(file).counts);
    } catch (const LogImportError& error) {
        return std::string("error: ") + error.what();
    }
}

Sighting seen(std::string key, Instant time, std::optional<int> rssi, Advertisement ad = {}) {
    return Sighting(SightingSource::lowEnergy, std::move(key), time, rssi, std::nullopt, std::move(ad));
}

const Bytes named = hex("02 01 06 05 09 4B 65 74 74 03 03 0F 18");
Advertisement namedAd(std::optional<bool> connectable) {
    return {.localName = "Kett", .serviceUUIDs = {"180F"}, .isConnectable = connectable,
            .otherFields = {{"AdvertisingFlags", "06"}}};
}
const std::string kettle = "C0:FF:EE:00:00:01", tag = "D4:00:00:00:00:02";

TEST(LogImport, EveryContainerAndLinkTypeGivesTheSightingsInFileOrder) {
    const Bytes report = event(0x02, {legacy(0, kettle, named, -60)});
    const Bytes name = hex("08 09 43 61 66 E9 00 00 00");  // not UTF-8, NUL-padded
    const struct {
        const char* name;
        Bytes file;
        std::vector<Sighting> expected;
    } cases[] = {
        {"btsnoop, Linux monitor: events only, any controller",
         btsnoop(2001, {{t0, report, 3},
                        {t0 + 1s, report, 2},
                        {t0 + 2s, event(0x02, {legacy(4, kettle, name, -70)}), 1 << 16 | 3}}),
         {seen(kettle, t0, -60, namedAd(true)), seen(kettle, t0 + 2s, -70, {.localName = "Caf\uFFFD"})}},
        {"btsnoop, bare HCI: received events only",
         btsnoop(1001, {{t0, report, 3}, {t0 + 1s, report, 2}}), {seen(kettle, t0, -60, namedAd(true))}},
        // Extended reports: connectable, a scan response (connectable unknown), no RSSI, anonymous.
        {"btsnoop, H4", btsnoop(1002, {{t0, Bytes{4} + event(0x0D, {extended(0x0001, kettle, named, 127),
                                                                   extended(0x001B, tag, hex("02 0A 04"), -50),
                                                                   extended(0x0000, tag, {}, -50, 0xFF)})},
                                       {t0 + 1s, Bytes{2} + report}}),
         {seen(kettle, t0, std::nullopt, namedAd(true)), seen(tag, t0, -50, {.txPower = 4})}},
        {"pcap little-endian, H4 with direction: a directed report",
         pcap(201, {{t0 + 250ms, hex("00 00 00 01 04") + event(0x0B, {directed(tag, -80)})}}),
         {seen(tag, t0 + 250ms, -80, {.isConnectable = true})}},
        {"pcap big-endian in nanoseconds, H4: legacy types",
         pcap(187, {{t0 + 123ms, Bytes{4} + event(0x02, {legacy(2, kettle, {}, -61), legacy(3, tag, {}, -62)})}},
              true, true),
         {seen(kettle, t0 + 123ms, -61, {.isConnectable = false}),
          seen(tag, t0 + 123ms, -62, {.isConnectable = false})}},
        {"pcap, Linux monitor: events only",
         pcap(254, {{t0, hex("00 01 00 03") + report}, {t0 + 1s, hex("00 01 00 02") + report}}),
         {seen(kettle, t0, -60, namedAd(true))}},
        // The sniffer's link layer: requests, a connection's data, an extended PDU without
        // an address and a failed CRC are passed over.
        {"pcapng, LE link layer", pcapng(256, {
             {t0, linkLayer(0, air(kettle) + named, -55)},
             {t0 + 1s, linkLayer(4, air(kettle) + name, std::nullopt)},
             {t0 + 2s, linkLayer(2, air(tag), -90)},
             {t0 + 3s, linkLayer(6, air(tag) + hex("02 0A 04"), -91)},
             {t0 + 4s, linkLayer(1, air(tag) + air(kettle), -92)},
             {t0 + 5s, linkLayer(3, air(kettle) + air(tag), -93)},
             {t0 + 6s, linkLayer(0, air(kettle) + named, -55, 0x12345678)},
             {t0 + 7s, linkLayer(7, hex("47 01") + air(tag) + named, -56)},
             {t0 + 8s, linkLayer(7, hex("43 08 00 10") + named, -57)},
             {t0 + 8s, linkLayer(7, hex("87 01") + air(kettle), -58)},
             {t0 + 9s, linkLayer(0, air(kettle) + named, -55, 0x8E89BED6, 0x0400)}}),
         {seen(kettle, t0, -55, namedAd(true)), seen(kettle, t0 + 1s, std::nullopt, {.localName = "Caf\uFFFD"}),
          seen(tag, t0 + 2s, -90, {.isConnectable = false}),
          seen(tag, t0 + 3s, -91, {.txPower = 4, .isConnectable = false}),
          seen(tag, t0 + 4s, -92, {.isConnectable = true}), seen(tag, t0 + 7s, -56, namedAd(true)),
          seen(kettle, t0 + 8s, -58, {.isConnectable = false})}},
        // A second section changes the byte order and starts its own interfaces.
        {"pcapng, two sections, nanoseconds and binary fractions",
         pcapng(187, {{t0, Bytes{4} + report}}, true, 9, 1'700'000'000) +
             pcapng(254, {{t0 + 500ms, hex("00 00 00 03") + report}}, false, 0x94),
         {seen(kettle, t0, -60, namedAd(true)), seen(kettle, t0 + 500ms, -60, namedAd(true))}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ImportedLog log = imported(c.file);
        EXPECT_EQ(log.sightings, c.expected);
        EXPECT_EQ(log.counts.advertisements, c.expected.size());
        // Whatever came from the air is written and read back unchanged.
        EXPECT_EQ(Fixture::decode(Fixture::encode(log.sightings)), log.sightings);
    }
}

TEST(LogImport, WhatCannotBeReadIsSkippedAndCountedOrRefused) {
    const Bytes report = event(0x02, {legacy(0, kettle, named, -60)});
    const Record good{t0, report, 3};
    const Bytes two = btsnoop(2001, {good, good});
    const Bytes cutShort(two.begin(), two.end() - 5);
    Bytes badBlock = pcapng(187, {{t0, Bytes{4} + report}});
    badBlock[28 + 4] = 13;  // the interface block's length
    const std::string none = "0 advertisements from 0 devices; ", one = "1 advertisement from 1 device; ";
    const struct {
        const char* name;
        Bytes file;
        std::string expected;
    } cases[] = {
        {"record header cut short", btsnoop(2001, {good}) + Bytes(10), one + "1 truncated record skipped"},
        {"included length past the end", cutShort, one + "1 truncated record skipped"},
        {"oversized record", btsnoop(2001, {{t0, Bytes(300 << 10), 3}, good}), one + "1 oversized record skipped"},
        {"unknown datalink", btsnoop(1003, {good, good}), none + "2 records of other link types skipped"},
        {"unknown link type", pcap(1, {good}), none + "1 record of another link type skipped"},
        {"zero and far-future times",
         btsnoop(2001, {{Instant{} - 0x00dcddb30f2f8000us, report, 3}, {sys_days(2200y / 1 / 1), report, 3}, good}),
         one + "2 records with impossible times skipped"},
        {"1970 in a pcap", pcap(187, {{Instant{}, Bytes{4} + report}}),
         none + "1 record with an impossible time skipped"},
        {"event shorter than its length", btsnoop(2001, {{t0, hex("3E 10 02 01"), 3}}),
         none + "1 damaged record skipped"},
        {"report past the event's end",
         btsnoop(2001, {{t0, event(0x02, {legacy(0, kettle, named, -60), hex("00 00 01")}), 3}}),
         one + "1 damaged record skipped"},
        {"advertising data past its end",
         btsnoop(2001, {{t0, event(0x02, {legacy(0, kettle, hex("02 0A 04 09 09 41"), -60)}), 3}}),
         one + "1 cut advertising data structure skipped"},
        {"pcapng block length that cannot be", badBlock, none + "1 damaged record skipped"},
        {"packet on an interface never described", pcapng(187, {}) + block(6, number(7, 4, false) + Bytes(16), false),
         none + "1 damaged record skipped"},
        {"empty", {}, "error: the file is empty"},
        {"garbage", hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10"),
         "error: not a Bluetooth log: neither btsnoop, pcap nor pcapng"},
        {"a capture", Bytes{' ', '\n', '[', ']'}, "error: a capture, not a Bluetooth log"},
        {"btsnoop version 2", hex("62 74 73 6E 6F 6F 70 00 00 00 00 02 00 00 07 D1"),
         "error: btsnoop version 2 is not read"},
        {"pcap header cut short", hex("D4 C3 B2 A1 02 00 04 00"), "error: the pcap header is cut short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcome(c.file), c.expected);
    }
}

TEST(LogImport, SummaryGroupsThousands) {
    EXPECT_EQ(summary({.advertisements = 12041, .devices = 187, .truncatedRecords = 3}),
              "12,041 advertisements from 187 devices; 3 truncated records skipped");
    EXPECT_EQ(summary({.advertisements = 1'000'000, .devices = 1}), "1,000,000 advertisements from 1 device");
}

TEST(LogImport, FormatIsToldFromTheFirstBytes) {
    // Each format's own mark is read in the container tests; here, what only looks like one.
    EXPECT_EQ(logFormatOf(hex("0A 0D 0D 0A 1C 00 00 00 00 00 00 00")), std::nullopt);
    EXPECT_EQ(logFormatOf(hex("EF BB BF 20 5B")), LogFormat::capture);
    EXPECT_EQ(logFormatOf(hex("7B 5B")), std::nullopt);
}

}  // namespace
}  // namespace quillmote
