#!/usr/bin/env python3
"""Writes the demo capture: three minutes of a busy shared office, for showing
Quillmote on a machine without a Bluetooth adapter.

    python3 tools/make_demo_capture.py > data/demo-capture.json
    python3 tools/make_demo_capture.py data/demo-capture.json

Every packet is built here from the public advertisement formats (Apple
Continuity, iBeacon, Eddystone, Fast Pair, Microsoft CDP and Swift Pair, Tile,
Samsung, SIG services); nothing is taken from a real recording. Identifiers,
hashes and keys are random bytes from a fixed seed, so the same script always
writes the same bytes and the shipped file can be checked against it.

Standard library only.
"""

import json
import math
import random
import sys

SEED = "quillmote-demo-1"
START = (2026, 3, 5, 9, 30, 0)  # UTC; the room is sampled from here on
DURATION = 180.0  # seconds
FLOOR = -95  # weaker packets are never heard
CEILING = -35


# ---- Deterministic randomness ----

class Rng:
    """Only random.random() underneath: its sequence for a given seed is stable
    across Python versions, unlike some of the derived helpers."""

    def __init__(self, name, seed=SEED):
        self._r = random.Random(seed + ":" + name)

    def random(self):
        return self._r.random()

    def uniform(self, a, b):
        return a + (b - a) * self._r.random()

    def below(self, n):
        return min(int(self._r.random() * n), n - 1)

    def gauss(self):
        # Box-Muller; 1 - random() is never zero.
        u = 1.0 - self._r.random()
        v = self._r.random()
        return math.sqrt(-2.0 * math.log(u)) * math.cos(2.0 * math.pi * v)

    def bytes(self, n):
        return [self.below(256) for _ in range(n)]


def resolvable_address(rng):
    # Resolvable private addresses have 01 in the top two bits.
    first = 0x40 | rng.below(0x40)
    return ":".join("%02X" % b for b in [first] + rng.bytes(5))


def static_address(rng):
    # Static random addresses have 11 in the top two bits.
    first = 0xC0 | rng.below(0x40)
    return ":".join("%02X" % b for b in [first] + rng.bytes(5))


# ---- Formats ----

def hexs(data):
    return " ".join("%02X" % b for b in data)


def le16(value):
    return [value & 0xFF, value >> 8]


def be16(value):
    return [value >> 8, value & 0xFF]


def advert(company=None, payload=(), name=None, services=(), service_data=None,
           connectable=None, tx_power=None):
    ad = {
        "otherFields": {},
        "overflowServiceUUIDs": [],
        "serviceData": {uuid: hexs(data) for uuid, data in (service_data or {}).items()},
        "serviceUUIDs": list(services),
        "solicitedServiceUUIDs": [],
    }
    if company is not None:
        ad["manufacturerData"] = hexs(le16(company) + list(payload))
    if name is not None:
        ad["localName"] = name
    if connectable is not None:
        ad["isConnectable"] = connectable
    if tx_power is not None:
        ad["txPower"] = tx_power
    return ad


APPLE, MICROSOFT, SAMSUNG, GOOGLE, SONY = 0x004C, 0x0006, 0x0075, 0x00E0, 0x012D
HARMAN, NORDIC, POLAR, GARMIN, LOGITECH = 0x0057, 0x0059, 0x006B, 0x0087, 0x01DA
ESPRESSIF, SONOS = 0x02E5, 0x05A7


def tlv(kind, value):
    return [kind, len(value)] + list(value)


def nearby_info(action, flags, auth):
    # Status flags in the high nibble, action code in the low one; data flags;
    # a three-byte authentication tag tied to the address.
    return tlv(0x10, [action, flags] + auth)


def nearby_action(action_type, auth, hashes):
    return tlv(0x0F, [0x90, action_type] + auth + hashes)


def handoff(sequence, tag, encrypted):
    return tlv(0x0C, [0x00] + be16(sequence) + [tag] + encrypted)


def hotspot_source(battery, bars):
    # Version, flags, battery, cell service type (two bytes), signal bars.
    return tlv(0x0E, [0x01, 0x00, battery, 0x00, 0x07, bars])


def proximity_pairing(model, buds, case, lid, encrypted):
    # Prefix 01, model, status, bud levels (a nibble each), case level, lid
    # counter, colour, a reserved byte, then the encrypted part.
    return tlv(0x07, [0x01] + be16(model) + [0x2B, buds, case, lid, 0x00, 0x00] + encrypted)


def find_my(status, key):
    # Status, 22 bytes of the rolling public key, the key's top bits, a hint byte.
    return tlv(0x12, [status] + key[:22] + [key[22] & 0x03, key[23]])


def magic_switch(data, confidence):
    return tlv(0x0B, data + [confidence])


def airplay_target(ipv4):
    return tlv(0x09, [0x03, 0x1F] + ipv4)


def ibeacon(uuid, major, minor, power):
    return tlv(0x02, uuid + be16(major) + be16(minor) + [power & 0xFF])


def eddystone_url(tx, scheme, body):
    # Scheme prefix code, then the URL with the single-byte expansions already applied.
    return [0x10, tx & 0xFF, scheme] + list(body)


def fast_pair_hidden(rng):
    # Not discoverable: version 0, a six-byte account-key filter, a one-byte salt.
    return [0x00, 0x60] + rng.bytes(6) + [0x11] + rng.bytes(1)


# ---- Signal ----

def steady(level):
    return lambda t: level


def within(level, spans, ramp=10.0):
    """In range only inside the spans, fading toward the floor at their edges as
    the owner walks in and out."""
    def at(t):
        for begin, end in spans:
            if begin <= t < end:
                edge = min(t - begin, end - t)
                if edge < ramp:
                    return level + (FLOOR - 4 - level) * (1.0 - edge / ramp)
                return level
        return None
    return at


class Walker:
    """Slow drift around the device's level (people shift, doors open) plus fast
    multipath noise on every packet."""

    def __init__(self, rng, drift=4.0, noise=2.5, settle=20.0):
        self.rng, self.drift, self.noise, self.settle = rng, drift, noise, settle
        self.offset = rng.gauss() * drift
        self.last = None

    def rssi(self, t, level):
        if self.last is not None:
            keep = math.exp(-(t - self.last) / self.settle)
            self.offset = self.offset * keep + self.drift * math.sqrt(1.0 - keep * keep) * self.rng.gauss()
        self.last = t
        return level + self.offset + self.noise * self.rng.gauss()


# ---- The room ----

class Device:
    def __init__(self, name, rate, level, build, keys, start=0.0, end=DURATION, address=resolvable_address):
        self.name = name
        self.rate = rate
        self.level = level
        self.build = build  # (t, epoch, state) -> advertisement
        self.rng = Rng(name + ":timing")
        self.walker = Walker(Rng(name + ":signal"))
        self.start, self.end = start, end
        # An address per epoch: the first from 0 s, the others from the given times.
        self.keys = [(0.0, address(self.rng))] + [(at, address(self.rng)) for at in keys]
        self.state = {}

    def epoch(self, t):
        index = 0
        for i, (at, _) in enumerate(self.keys):
            if t >= at:
                index = i
        return index

    def sightings(self):
        out = []
        t = self.start + self.rng.uniform(0.0, 1.0 / self.rate)
        while t < self.end:
            level = self.level(t)
            if level is not None:
                rssi = round(self.walker.rssi(t, level))
                if rssi >= FLOOR:
                    epoch = self.epoch(t)
                    out.append({
                        "advertisement": self.build(t, epoch, self.state),
                        "deviceKey": self.keys[epoch][1],
                        "rssi": min(rssi, CEILING),
                        "source": "LE",
                        "time": t,
                    })
            # Advertising intervals jitter, and a scanner hears only some packets.
            t += (0.4 + 1.2 * self.rng.random()) / self.rate
        return out


def once(state, key, make):
    if key not in state:
        state[key] = make()
    return state[key]


def per_epoch(rng, state, epoch, name, n):
    # Bytes that are random per address: anything derived from the rolling key.
    return once(state, (name, epoch), lambda: rng.bytes(n))


def room():
    devices = []

    def add(name, rate, level, keys=(), **kwargs):
        def register(build):
            devices.append(Device(name, rate, level, build, list(keys), **kwargs))
            return build
        return register

    # Phones.
    r = Rng("iphone-desk")

    @add("iphone-desk", 2.0, steady(-58))
    def _(t, epoch, s):
        # Screen on for a while now and then; otherwise locked in a pocket.
        active = 30 <= t < 55 or 140 <= t < 162
        auth = per_epoch(r, s, epoch, "auth", 3)
        return advert(APPLE, nearby_info(0x17 if active else 0x13, 0x1C, auth), tx_power=12, connectable=True)

    r2 = Rng("iphone-hotspot")

    @add("iphone-hotspot", 1.5, steady(-67))
    def _(t, epoch, s):
        # Offering its hotspot to the MacBook, and its usual Nearby Info behind it.
        battery = 0x4B if t < 100 else 0x4A
        auth = per_epoch(r2, s, epoch, "auth", 3)
        return advert(APPLE, hotspot_source(battery, 0x04) + nearby_info(0x13, 0x18, auth), tx_power=12,
                      connectable=True)

    r3 = Rng("iphone-wifi")

    @add("iphone-wifi", 2.0, steady(-74))
    def _(t, epoch, s):
        auth = per_epoch(r3, s, epoch, "auth", 3)
        info = nearby_info(0x17, 0x1C, auth)
        if 12 <= t < 40:
            # Asking nearby devices for a Wi-Fi password: truncated hashes of the
            # Apple ID, phone number, e-mail and network name.
            hashes = once(s, "hashes", lambda: r3.bytes(12))
            return advert(APPLE, nearby_action(0x08, auth, hashes) + info, tx_power=12, connectable=True)
        return advert(APPLE, info, tx_power=12, connectable=True)

    r4 = Rng("iphone-late")

    @add("iphone-late", 2.0, within(-63, [(92, 999)], ramp=14), start=92)
    def _(t, epoch, s):
        auth = per_epoch(r4, s, epoch, "auth", 3)
        return advert(APPLE, nearby_info(0x17 if t < 110 else 0x13, 0x1C, auth), tx_power=12, connectable=True)

    r5 = Rng("galaxy-s23")

    @add("galaxy-s23", 1.5, steady(-70), keys=[133.2])
    def _(t, epoch, s):
        # Samsung's payload is opaque; its rolling part changes with the address.
        return advert(SAMSUNG, [0x02, 0x18] + per_epoch(r5, s, epoch, "roll", 8), name="Galaxy S23",
                      connectable=True)

    r6 = Rng("pixel-8")

    @add("pixel-8", 1.5, steady(-61), keys=[68.4])
    def _(t, epoch, s):
        return advert(name="Pixel 8", service_data={"FEF3": [0x4A, 0x17] + per_epoch(r6, s, epoch, "roll", 10)},
                      services=["FEF3"], connectable=True)

    # Earbuds and headphones.
    r7 = Rng("airpods-pro")

    @add("airpods-pro", 1.5, steady(-56))
    def _(t, epoch, s):
        buds = 0x99 if t < 120 else 0x89  # one bud drops from 90 % to 80 %
        encrypted = per_epoch(r7, s, int(t // 15), "enc", 16)
        return advert(APPLE, proximity_pairing(0x1420, buds, 0x07, 0x31, encrypted), connectable=False)

    r8 = Rng("airpods-late")

    @add("airpods-late", 1.5, within(-60, [(95, 999)], ramp=14), start=95)
    def _(t, epoch, s):
        encrypted = per_epoch(r8, s, int(t // 15), "enc", 16)
        return advert(APPLE, proximity_pairing(0x1320, 0x77, 0x05, 0x12, encrypted), connectable=False)

    r9 = Rng("galaxy-buds2")

    @add("galaxy-buds2", 1.0, steady(-69), keys=[101.7])
    def _(t, epoch, s):
        return advert(SAMSUNG, [0x01, 0x00, 0x09] + per_epoch(r9, s, epoch, "roll", 9), name="Galaxy Buds2",
                      connectable=True)

    r10 = Rng("sony-headphones")

    @add("sony-headphones", 1.0, steady(-77))
    def _(t, epoch, s):
        return advert(SONY, [0x04, 0x00] + once(s, "id", lambda: r10.bytes(8)), name="WH-1000XM4",
                      service_data={"FE2C": once(s, "fp", lambda: fast_pair_hidden(r10))}, services=["FE2C"],
                      connectable=True)

    r11 = Rng("pixel-buds")

    @add("pixel-buds", 1.0, steady(-72))
    def _(t, epoch, s):
        return advert(name="Pixel Buds Pro", service_data={"FE2C": once(s, "fp", lambda: fast_pair_hidden(r11))},
                      services=["FE2C"], connectable=True)

    # Watches.
    r12 = Rng("apple-watch")

    @add("apple-watch", 1.0, steady(-64))
    def _(t, epoch, s):
        # Out of reach of its phone, so it announces itself for the phone to reconnect.
        return advert(APPLE, magic_switch(once(s, "data", lambda: r12.bytes(2)), 0x3F), connectable=False)

    r13 = Rng("garmin")

    # Its wearer walks out twice: once briefly, once for long enough to fade away.
    @add("garmin", 1.0, within(-62, [(-99, 48), (70, 118), (154, 999)]))
    def _(t, epoch, s):
        return advert(GARMIN, [0x05, 0x00] + once(s, "id", lambda: r13.bytes(4)), name="Garmin Venu 2",
                      connectable=True)

    # Computers.
    r14 = Rng("macbook")

    @add("macbook", 1.5, steady(-62))
    def _(t, epoch, s):
        # The Handoff sequence number moves on when the user switches activity.
        sequence = 0x0412 + int(t // 40)
        encrypted = per_epoch(r14, s, int(t // 40), "enc", 10)
        tag = per_epoch(r14, s, int(t // 40), "tag", 1)[0]
        auth = per_epoch(r14, s, epoch, "auth", 3)
        return advert(APPLE, handoff(sequence, tag, encrypted) + nearby_info(0x17, 0x1C, auth), tx_power=12,
                      connectable=True)

    r15 = Rng("windows-laptop")

    @add("windows-laptop", 1.0, steady(-71))
    def _(t, epoch, s):
        # Connected Devices Platform: scenario 1, version 1 with device type 15
        # (Windows laptop), flags, reserved, four-byte salt, sixteen-byte device hash.
        body = [0x01, 0x20 | 15, 0x20, 0x00] + once(s, "salt", lambda: r15.bytes(4)) + \
            once(s, "hash", lambda: r15.bytes(16))
        return advert(MICROSOFT, body, connectable=False)

    # Trackers.
    r16 = Rng("airtag")

    @add("airtag", 0.5, steady(-80), address=static_address)
    def _(t, epoch, s):
        # Status 0x10: an AirTag away from its owner, battery full.
        return advert(APPLE, find_my(0x10, once(s, "key", lambda: r16.bytes(24))), connectable=False)

    r17 = Rng("findmy-accessory")

    @add("findmy-accessory", 0.5, steady(-86), address=static_address)
    def _(t, epoch, s):
        # A third-party Find My tag: honestly indistinguishable from AirPods here.
        return advert(APPLE, find_my(0x20, once(s, "key", lambda: r17.bytes(24))), connectable=False)

    r18 = Rng("tile")

    @add("tile", 0.5, steady(-76), address=static_address)
    def _(t, epoch, s):
        return advert(service_data={"FEED": [0x02, 0x00] + once(s, "id", lambda: r18.bytes(8))}, services=["FEED"],
                      connectable=True)

    r19 = Rng("smarttag")

    @add("smarttag", 0.5, steady(-83))
    def _(t, epoch, s):
        return advert(service_data={"FD5A": [0x13] + once(s, "body", lambda: r19.bytes(18))}, connectable=False)

    r20 = Rng("google-tracker")

    @add("google-tracker", 0.5, steady(-79), address=static_address)
    def _(t, epoch, s):
        # Find My Device network frame: a 20-byte ephemeral ID and hashed flags.
        return advert(service_data={"FEAA": [0x40] + once(s, "eid", lambda: r20.bytes(21))}, services=["FEAA"],
                      connectable=False)

    # Beacons.
    # Two beacons of one site: the same proximity UUID and major, another minor.
    site = Rng("beacon-site").bytes(16)

    @add("ibeacon-door", 3.0, steady(-71), address=static_address)
    def _(t, epoch, s):
        return advert(APPLE, ibeacon(site, 100, 1, -59), connectable=False)

    @add("ibeacon-desk", 2.0, steady(-82), address=static_address)
    def _(t, epoch, s):
        return advert(APPLE, ibeacon(site, 100, 7, -61), connectable=False)

    r23 = Rng("eddystone-uid")

    @add("eddystone-uid", 1.5, steady(-75), address=static_address)
    def _(t, epoch, s):
        frame = [0x00, 0xEE] + once(s, "ns", lambda: r23.bytes(10)) + once(s, "inst", lambda: r23.bytes(6)) + [0, 0]
        return advert(service_data={"FEAA": frame}, services=["FEAA"], connectable=False)

    @add("eddystone-url", 1.0, steady(-84), address=static_address)
    def _(t, epoch, s):
        # https:// example .org/ menu
        frame = eddystone_url(-18, 0x03, b"example" + bytes([0x01]) + b"menu")
        return advert(service_data={"FEAA": frame}, services=["FEAA"], connectable=False)

    # Named things around the room.
    r25 = Rng("polar-h10")

    @add("polar-h10", 1.5, steady(-66))
    def _(t, epoch, s):
        return advert(POLAR, [0x33, 0x1C] + once(s, "x", lambda: r25.bytes(3)), name="Polar H10 7C1A2E5B",
                      services=["180D"], connectable=True)

    r26 = Rng("sonos")

    @add("sonos", 1.0, steady(-73), address=static_address)
    def _(t, epoch, s):
        return advert(SONOS, [0x02, 0x01] + once(s, "x", lambda: r26.bytes(6)), name="Meeting Room",
                      service_data={"FE07": once(s, "sd", lambda: r26.bytes(4))}, services=["FE07"],
                      connectable=True)

    r27 = Rng("jbl")

    @add("jbl", 1.0, steady(-81))
    def _(t, epoch, s):
        return advert(HARMAN, [0x20, 0x1F] + once(s, "x", lambda: r27.bytes(5)), name="JBL Flip 6",
                      connectable=True)

    r28 = Rng("samsung-tv")

    @add("samsung-tv", 1.0, steady(-78), address=static_address)
    def _(t, epoch, s):
        return advert(SAMSUNG, [0x42, 0x04] + once(s, "x", lambda: r28.bytes(8)),
                      name="[TV] Samsung Q70 Series (55)", connectable=True)

    @add("apple-tv", 1.0, steady(-76))
    def _(t, epoch, s):
        return advert(APPLE, airplay_target([192, 168, 1, 42]), tx_power=12, connectable=True)

    r30 = Rng("echo-dot")

    @add("echo-dot", 0.5, steady(-85), address=static_address)
    def _(t, epoch, s):
        return advert(name="Echo Dot-4KQ", service_data={"FE03": [0x01] + once(s, "x", lambda: r30.bytes(7))},
                      services=["FE03"], connectable=True)

    r31 = Rng("mx-keys")

    @add("mx-keys", 0.5, steady(-68), address=static_address)
    def _(t, epoch, s):
        return advert(LOGITECH, [0x01, 0x00] + once(s, "x", lambda: r31.bytes(4)), name="MX Keys Mini",
                      services=["1812"], connectable=True)

    # In pairing mode for the first minute, then paired and quiet.
    @add("surface-mouse", 2.0, steady(-60), end=58.0, address=static_address)
    def _(t, epoch, s):
        # Swift Pair: beacon 3, sub-scenario 0, the reserved RSSI byte.
        return advert(MICROSOFT, [0x03, 0x00, 0x80], name="Surface Mobile Mouse", connectable=True)

    @add("hp-printer", 0.5, steady(-88), address=static_address)
    def _(t, epoch, s):
        return advert(name="HP ENVY 6000 series", services=["FE78"], connectable=True)

    r34 = Rng("hue")

    @add("hue", 1.0, steady(-80), address=static_address)
    def _(t, epoch, s):
        return advert(name="Hue color lamp", service_data={"FE0F": [0x02] + once(s, "x", lambda: r34.bytes(8))},
                      services=["FE0F"], connectable=True)

    # Things that say too little to identify.
    r35 = Rng("nordic")

    @add("nordic", 1.0, steady(-87), address=static_address)
    def _(t, epoch, s):
        return advert(NORDIC, once(s, "x", lambda: r35.bytes(6)), connectable=False)

    r36 = Rng("espressif")

    @add("espressif", 1.5, steady(-79), address=static_address)
    def _(t, epoch, s):
        # A home-made sensor: a counter that ticks every few seconds, then noise.
        return advert(ESPRESSIF, [0x01, int(t // 5) & 0xFF] + once(s, "x", lambda: r36.bytes(4)),
                      connectable=False)

    r37 = Rng("custom-service")

    @add("custom-service", 0.5, steady(-84), address=static_address)
    def _(t, epoch, s):
        raw = once(s, "uuid", lambda: r37.bytes(16))
        h = "".join("%02X" % b for b in raw)
        uuid = "-".join([h[:8], h[8:12], h[12:16], h[16:20], h[20:]])
        return advert(services=[uuid], connectable=True)

    @add("silent-1", 1.0, steady(-90))
    def _(t, epoch, s):
        return advert()

    @add("silent-2", 0.7, steady(-86))
    def _(t, epoch, s):
        return advert(connectable=False)

    return devices


# Paired devices, read once a second: (cachedName, class of device, connected,
# battery over time, signal level).
def paired():
    out = []
    entries = [
        ("a4-83-e7-11-22-33", "Keychron K3", 0x000540, True, lambda t: 80 if t < 110 else 79, -47),
        ("ac-80-0a-4b-5c-6d", "Bose QC45", 0x240418, True, lambda t: 55 - int(t // 75), -52),
        ("f4-7b-09-8a-9b-0c", "Pixel 7a", 0x5A020C, False, None, None),
    ]
    for index, (key, name, cod, connected, battery, level) in enumerate(entries):
        walker = Walker(Rng(key), drift=2.0, noise=1.5)
        for second in range(int(DURATION)):
            t = second + 0.004 * (index + 1)
            s = {
                "advertisement": advert(),
                "cachedName": name,
                "classOfDevice": cod,
                "deviceKey": key,
                "isConnected": connected,
                "source": "PR",
                "time": t,
            }
            if battery is not None:
                s["batteryPercent"] = battery(t)
            if level is not None:
                s["rssi"] = max(FLOOR, min(CEILING, round(walker.rssi(t, level))))
            out.append(s)
    return out


def timestamp(seconds):
    # Whole milliseconds from the start, written the way the capture format wants.
    ms = round(seconds * 1000)
    year, month, day, hour, minute, second = START
    total = ((hour * 60 + minute) * 60 + second) * 1000 + ms
    assert total < 24 * 3600 * 1000, "the capture stays within one day"
    return "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ" % (
        year, month, day, total // 3600000, total // 60000 % 60, total // 1000 % 60, total % 1000)


def capture():
    sightings = []
    for order, device in enumerate(room()):
        sightings += [(round(s["time"] * 1000), order, s) for s in device.sightings()]
    base = len(sightings)
    sightings += [(round(s["time"] * 1000), base + i, s) for i, s in enumerate(paired())]
    sightings.sort(key=lambda entry: entry[:2])
    for _, _, s in sightings:
        s["time"] = timestamp(s["time"])
    return [s for _, _, s in sightings]


def encode(sightings):
    lines = ["  " + json.dumps(s, sort_keys=True, ensure_ascii=False) for s in sightings]
    return "[\n" + ",\n".join(lines) + "\n]\n"


def main(argv):
    if len(argv) > 2 or (len(argv) == 2 and argv[1] in ("-h", "--help")):
        sys.stderr.write("usage: make_demo_capture.py [OUTPUT]\n")
        return 2
    text = encode(capture())
    if len(argv) == 2 and argv[1] != "-":
        with open(argv[1], "w", encoding="utf-8", newline="\n") as out:
            out.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
