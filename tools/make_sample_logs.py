#!/usr/bin/env python3
"""Writes the two sample Bluetooth logs the tests read, into tests/data/logs/.

btmon.log      btsnoop, Linux monitor datalink (what `btmon -w` writes): controller
               chatter, then 36 advertising reports from 5 devices in 2026:
                 F4:58:2B:91:6C:03  iBeacon (ADV_NONCONN_IND)
                 5A:1C:7E:33:90:B2  Apple phone, manufacturer data 4C 00 10 ... (ADV_IND)
                 C8:FD:19:4A:22:07  "Kitchen Scale", 16-bit services, in extended reports
                 E1:0B:7A:5C:44:D9  Eddystone URL, service data FEAA (ADV_NONCONN_IND)
                 D0:3E:7F:12:A8:64  fitness band (ADV_IND) whose scan response names it
                                    "Forerunner 265"
sniffer.pcapng LE link layer with RSSI in the pseudo-header, as a BLE sniffer writes:
               12 packets, of which 11 advertise (ADV_IND, SCAN_RSP, ADV_NONCONN_IND) from
               3 devices and 1 is a SCAN_REQ.

Standard library only; the output is the same on every run.
"""
import os
import random
import struct
from datetime import datetime, timezone

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "logs")
BTSNOOP_EPOCH_DELTA = 0x00DCDDB30F2F8000  # microseconds from year 0 to 1970


def micros(text):
    """Microseconds since 1970 for an ISO 8601 UTC time with microseconds."""
    moment = datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=timezone.utc)
    return round(moment.timestamp() * 1_000_000)


def address(text):
    """An address as it travels: least significant byte first."""
    return bytes.fromhex(text.replace(":", ""))[::-1]


def ad(*structures):
    """Advertising data from (type, bytes) pairs."""
    return b"".join(bytes([len(data) + 1, kind]) + data for kind, data in structures)


# ---- The devices ----

IBEACON = "F4:58:2B:91:6C:03"
PHONE = "5A:1C:7E:33:90:B2"
SCALE = "C8:FD:19:4A:22:07"
EDDYSTONE = "E1:0B:7A:5C:44:D9"
BAND = "D0:3E:7F:12:A8:64"

IBEACON_AD = ad((0x01, b"\x06"),
                (0xFF, bytes.fromhex("4C00 0215 E2C56DB5DFFB48D2B060D0F5A71096E0 0001 002A C5")))
PHONE_AD = ad((0x01, b"\x1a"), (0xFF, bytes.fromhex("4C00 1006 131E8A6B2C5D")), (0x0A, b"\x0c"))
SCALE_AD = ad((0x01, b"\x06"), (0x09, b"Kitchen Scale"), (0x03, bytes.fromhex("1D18 0F18 0A18")),
              (0x0A, b"\x00"))
EDDYSTONE_AD = ad((0x01, b"\x06"), (0x03, bytes.fromhex("AAFE")),
                  (0x16, bytes.fromhex("AAFE 10 EB 03") + b"example" + b"\x07"))
BAND_AD = ad((0x01, b"\x06"), (0xFF, bytes.fromhex("8700 0102")), (0x02, bytes.fromhex("0D18")))
BAND_SCAN_RESPONSE = ad((0x09, b"Forerunner 265"))


# ---- btsnoop, Linux monitor ----

NEW_INDEX, COMMAND, EVENT, OPEN_INDEX, INDEX_INFO = 0, 2, 3, 8, 10


def le_meta(subevent, report):
    parameters = bytes([subevent, 1]) + report
    return bytes([0x3E, len(parameters)]) + parameters


def legacy_report(event_type, who, data, rssi):
    return (bytes([event_type, 1]) + address(who) + bytes([len(data)]) + data +
            struct.pack("b", rssi))


def extended_report(event_type, who, data, rssi):
    # Public address, LE 1M primary, LE 2M secondary, SID 3, no TX power, no periodic
    # advertising, not directed.
    return (struct.pack("<HB", event_type, 0) + address(who) +
            struct.pack("<BBBbbHB", 1, 2, 3, 127, rssi, 0, 0) + bytes(6) + bytes([len(data)]) + data)


def btmon_log():
    rng = random.Random(7)
    start = micros("2026-03-14T09:30:00.104211Z")
    records = [
        (start - 5210, NEW_INDEX, bytes([0, 1]) + address("9C:B6:D0:11:42:7A") + b"hci0\0\0\0\0"),
        (start - 5205, OPEN_INDEX, b""),
        (start - 5201, INDEX_INFO, address("9C:B6:D0:11:42:7A") + struct.pack("<H", 2)),
        (start - 3120, COMMAND, bytes.fromhex("0C20 02 01 00")),        # LE Set Scan Enable
        (start - 2984, EVENT, bytes.fromhex("0E 04 01 0C20 00")),       # its Command Complete
    ]
    for second in range(6):
        at = start + second * 1_000_000
        records += [
            (at + rng.randrange(0, 9000), EVENT, le_meta(0x02, legacy_report(3, IBEACON, IBEACON_AD, rng.randrange(-68, -60)))),
            (at + 212_000 + rng.randrange(0, 9000), EVENT, le_meta(0x02, legacy_report(0, PHONE, PHONE_AD, rng.randrange(-80, -70)))),
            (at + 371_000 + rng.randrange(0, 9000), EVENT, le_meta(0x0D, extended_report(0x0001, SCALE, SCALE_AD, rng.randrange(-58, -50)))),
            (at + 550_000 + rng.randrange(0, 9000), EVENT, le_meta(0x02, legacy_report(3, EDDYSTONE, EDDYSTONE_AD, rng.randrange(-90, -82)))),
        ]
        band_at = at + 720_000 + rng.randrange(0, 9000)
        rssi = rng.randrange(-75, -65)
        records += [
            (band_at, EVENT, le_meta(0x02, legacy_report(0, BAND, BAND_AD, rssi))),
            (band_at + 412, EVENT, le_meta(0x02, legacy_report(4, BAND, BAND_SCAN_RESPONSE, rssi - 1))),
        ]
    out = b"btsnoop\0" + struct.pack(">II", 1, 2001)
    for time, opcode, payload in records:
        out += struct.pack(">IIIIq", len(payload), len(payload), opcode, 0, time + BTSNOOP_EPOCH_DELTA) + payload
    return out


# ---- pcapng, LE link layer ----

ADVERTISING_ACCESS_ADDRESS = 0x8E89BED6
ADV_IND, SCAN_REQ, SCAN_RSP, ADV_NONCONN_IND = 0, 3, 4, 2


def crc24(pdu):
    """The link layer's CRC over the PDU, as sent (least significant bit first)."""
    state = 0xAAAAAA  # 0x555555 for advertising, bit-reversed
    for byte in pdu:
        for _ in range(8):
            bit = (state ^ byte) & 1
            byte >>= 1
            state >>= 1
            if bit:
                state = (state | 1 << 23) ^ 0x5A6000
    return state.to_bytes(3, "little")


def link_layer(channel, rssi, pdu_type, payload):
    # Every address here is random: TxAdd, and RxAdd for the advertiser a request names.
    header = bytes([pdu_type | 0x40 | (0x80 if pdu_type == SCAN_REQ else 0), len(payload)])
    pdu = header + payload
    # Flags: dewhitened, signal power valid, reference access address valid, CRC checked and valid.
    pseudo = struct.pack("<BbbBIH", channel, rssi, 0, 0, ADVERTISING_ACCESS_ADDRESS, 0x0C13)
    return pseudo + struct.pack("<I", ADVERTISING_ACCESS_ADDRESS) + pdu + crc24(pdu)


def block(kind, body):
    body += bytes(-len(body) % 4)
    return struct.pack("<II", kind, len(body) + 12) + body + struct.pack("<I", len(body) + 12)


def option(code, value):
    return struct.pack("<HH", code, len(value)) + value + bytes(-len(value) % 4)


SENSOR = "E6:21:8B:4F:0A:31"
BEACON = "C3:77:09:5E:B1:2A"
WATCH = "6F:0D:42:B8:91:E5"
SCANNER = "4C:61:9E:00:12:77"

SENSOR_AD = ad((0x01, b"\x06"), (0x03, bytes.fromhex("1A18")), (0xFF, bytes.fromhex("5900 0417 2A01")))
SENSOR_SCAN_RESPONSE = ad((0x09, b"Thermo-7"))
BEACON_AD = ad((0x01, b"\x04"), (0x03, bytes.fromhex("AAFE")),
               (0x16, bytes.fromhex("AAFE 20 00 0BB8 1700 00001234 00005678")))
WATCH_AD = ad((0x01, b"\x1a"), (0xFF, bytes.fromhex("4C00 1005 0B1C3A8E71")))


def sniffer_pcapng():
    start = micros("2026-03-14T10:02:11.500000Z")
    packets = [
        (0, 37, -61, ADV_IND, address(SENSOR) + SENSOR_AD),
        (1_730, 37, -48, SCAN_REQ, address(SCANNER) + address(SENSOR)),
        (1_880, 37, -62, SCAN_RSP, address(SENSOR) + SENSOR_SCAN_RESPONSE),
        (41_207, 38, -77, ADV_NONCONN_IND, address(BEACON) + BEACON_AD),
        (88_512, 39, -70, ADV_IND, address(WATCH) + WATCH_AD),
        (310_044, 38, -64, ADV_IND, address(SENSOR) + SENSOR_AD),
        (311_902, 38, -63, SCAN_RSP, address(SENSOR) + SENSOR_SCAN_RESPONSE),
        (352_118, 39, -79, ADV_NONCONN_IND, address(BEACON) + BEACON_AD),
        (398_731, 37, -71, ADV_IND, address(WATCH) + WATCH_AD),
        (620_476, 39, -60, ADV_IND, address(SENSOR) + SENSOR_AD),
        (663_090, 37, -76, ADV_NONCONN_IND, address(BEACON) + BEACON_AD),
        (709_355, 38, -69, ADV_IND, address(WATCH) + WATCH_AD),
    ]
    section = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1) +
                    option(4, b"make_logs.py") + option(0, b""))
    interface = block(1, struct.pack("<HHI", 256, 0, 0) + option(2, b"nRF Sniffer for Bluetooth LE") +
                      option(9, b"\x06") + option(0, b""))
    out = section + interface
    for offset, channel, rssi, pdu_type, payload in packets:
        frame = link_layer(channel, rssi, pdu_type, payload)
        ticks = start + offset
        out += block(6, struct.pack("<IIIII", 0, ticks >> 32, ticks & 0xFFFFFFFF, len(frame), len(frame)) + frame)
    return out


if __name__ == "__main__":
    for name, content in (("btmon.log", btmon_log()), ("sniffer.pcapng", sniffer_pcapng())):
        with open(os.path.join(HERE, name), "wb") as file:
            file.write(content)
