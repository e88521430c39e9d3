#!/usr/bin/env python3
"""Writes the demo activity history: about 24 days of a shared office heard by a
machine that runs around the clock, so the activity page has something to show on
a machine that never recorded any.

    python3 tools/make_demo_history.py data/demo-history
    python3 tools/make_demo_history.py --end now --zone local /tmp/history

The folder gets what the program keeps: one minute file per UTC day, the past
unusual crowds (surges.json) and when each named device was heard per local day
(named-devices.json). The days follow the office's hours in the zone given by
--zone (an IANA name, "local" for this machine's zone, UTC by default): quiet
nights, busy weekday hours with a dip at lunch, quiet weekends. The machine was
off twice for an hour or more, and now and then its sampling stalls or it is
restarted, which leaves minutes too thinly observed to count. Two crowds on
weekdays of the last two weeks are planted in the minutes; their records hold
what the program's crowd rule makes of these minutes: where it starts and ends,
the usual and window levels it compares, and the highest window level between.
Every name the demo capture carries is a regular, heard on three or more of the
past days, so that a replay of it shows only the two names that are new today.

The history ends at --end (ISO 8601, or "now"; by default the demo capture's
start, 2026-03-05T09:30:00Z): the last minute written is the one closed by then.
The names come from the capture given by --capture (data/demo-capture.json by
default). Randomness comes from a fixed seed, so the same arguments and capture
always write the same bytes. An existing folder is only written into when it is empty or holds nothing
but history files; its minute files are then replaced.

Standard library only.
"""

import argparse
import bisect
import datetime
import json
import math
import os
import re
import sys
import tempfile
import time
import zoneinfo
from fractions import Fraction

sys.dont_write_bytecode = True  # nothing is left in the tree by a run
import make_demo_capture  # noqa: E402  (beside this script)

SEED = "quillmote-history-1"
DEFAULT_END = "2026-03-05T09:30:00Z"
DEFAULT_CAPTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "data", "demo-capture.json")
DAYS = 24  # local days before today that the history reaches into
INSTALLED_AT = 10 * 3600 + 12 * 60 + 37  # local time of day the first run started
HEADER = "minute_utc,observed_s,around,passing,arrived,left,moved"

# The program's rules, as far as this history needs them.
WARM_UP = 60  # seconds after listening (re)starts that never count
USABLE = 45  # observed seconds a minute needs to give a level
LOOKBACK_DAYS = 28
MINUTES_PER_HOUR = 20
DAYS_NEEDED = 3
WINDOW = 30 * 60  # seconds of minutes a crowd is judged on
RISE_FACTOR, MINIMUM_RISE, END_FACTOR = 1.5, 10.0, 1.25
MAX_GAP = 3600  # seconds without a usable minute that end a crowd
HANDED = 120  # newest closed minutes each judgement is given
REGULAR_DAYS = 3  # past days with a minute or more that make a name familiar
SECONDS_A_DAY_COUNTS = 60


# ---- Deterministic randomness ----

class Rng(make_demo_capture.Rng):
    """The demo capture's seeded randomness, under this script's seed."""

    def __init__(self, name):
        super().__init__(name, SEED)

    def poisson(self, mean):
        # Knuth's method; the means here are small.
        limit, k, p = math.exp(-mean), 0, self._r.random()
        while p > limit:
            k += 1
            p *= self._r.random()
        return k

    def uuid(self):
        b = [self.below(256) for _ in range(16)]
        b[6] = (b[6] & 0x0F) | 0x40  # version 4
        b[8] = (b[8] & 0x3F) | 0x80  # RFC 4122 variant
        h = "".join("%02X" % x for x in b)
        return "-".join([h[:8], h[8:12], h[12:16], h[16:20], h[20:]])


# ---- Time ----

def iso(ts):
    return datetime.datetime.fromtimestamp(ts, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def clock_for(zone):
    """A function from UTC seconds to the naive local date and time."""
    if zone == "local":
        return lambda ts: datetime.datetime.fromtimestamp(ts)
    tz = zoneinfo.ZoneInfo(zone)
    return lambda ts: datetime.datetime.fromtimestamp(ts, tz).replace(tzinfo=None)


class Days:
    """Every minute from before the first day to the end, with its local time, so
    that local times of day can be turned back into UTC seconds in any zone."""

    def __init__(self, end_minute, local):
        first = end_minute - (DAYS + 2) * 86400
        self.minutes = {}
        for ts in range(first, end_minute + 60, 60):
            t = local(ts)
            self.minutes.setdefault(t.date(), []).append((t.hour * 3600 + t.minute * 60, ts))
        self.today = local(end_minute).date()

    def date(self, back):
        return self.today - datetime.timedelta(days=back)

    def at(self, back, seconds):
        """UTC seconds of a local time of day on the day `back` days ago, or None
        when the day does not reach it (yet)."""
        day = self.minutes.get(self.date(back), [])
        i = bisect.bisect_left(day, (seconds - seconds % 60, -1))
        if i == len(day):
            return None
        return day[i][1] + seconds % 60

    def start(self, back):
        return self.minutes[self.date(back)][0][1]


class Spans:
    """Sorted, disjoint [begin, end) spans of seconds."""

    def __init__(self, spans):
        merged = []
        for a, b in sorted(s for s in spans if s[1] > s[0]):
            if merged and a <= merged[-1][1]:
                merged[-1][1] = max(merged[-1][1], b)
            else:
                merged.append([a, b])
        self.spans = [tuple(s) for s in merged]
        self.starts = [s[0] for s in self.spans]
        self.before = [0]
        for a, b in self.spans:
            self.before.append(self.before[-1] + b - a)

    def minus(self, cuts):
        out = []
        cuts = Spans(cuts).spans
        for a, b in self.spans:
            for c, d in cuts:
                if d <= a or c >= b:
                    continue
                if c > a:
                    out.append((a, c))
                a = max(a, d)
            if a < b:
                out.append((a, b))
        return Spans(out)

    def _upto(self, t):
        i = bisect.bisect_right(self.starts, t)
        if i == 0:
            return 0
        a, b = self.spans[i - 1]
        return self.before[i - 1] + min(t, b) - a

    def covered(self, a, b):
        return self._upto(b) - self._upto(a)

    def first_from(self, t):
        i = bisect.bisect_right(self.starts, t)
        if i and t < self.spans[i - 1][1]:
            return t
        return self.spans[i][0] if i < len(self.spans) else None


# ---- The office ----

# Devices around on a weekday, by local hour: people arrive from eight, thin out
# at lunch and leave from five.
WEEKDAY = [(0, 2.4), (5.5, 2.3), (7, 3.5), (8, 8), (9, 15), (10, 19.5), (11.5, 20.5), (12.25, 14),
           (13, 13.5), (13.75, 18.5), (15, 21), (16.5, 18.5), (17.5, 12), (18.5, 7), (20, 4.5), (22, 3),
           (24, 2.4)]
WEEKEND = [(0, 2.3), (9, 2.4), (10.5, 3.6), (14, 4.4), (17, 3.0), (20, 2.6), (24, 2.3)]
WEEKDAY_FACTOR = [0.96, 1.03, 1.0, 1.03, 0.88]  # Monday to Friday

# Two crowds: days back (moved further back off a weekend), local start, minutes,
# and how far they lift the room above its usual level.
CROWDS = [(10, 10.25 * 3600, 65, lambda level: 0.9 * level + 3),  # a training session
          (4, 14.0 * 3600, 85, lambda level: 1.1 * level + 2)]  # an all-hands meeting

# The machine off for an hour or more: days back, local start, minutes.
OUTAGES = [(17, 19 * 3600 + 32 * 60 + 10, 218),  # an upgrade in the evening
           (9, 12 * 3600 + 5 * 60 + 23, 76)]  # a power cut over lunch

# Named devices that visit: none may be a name the capture carries, or the replay
# would not show them as new.
SPEAKERPHONE, WATCH, HEADPHONES = "Poly Sync 20", "Forerunner 265", "WH-1000XM5"


# ---- The capture's names ----

def capture_names(path):
    """name -> (broadcast, stays): whether some sighting of a device by that name
    was heard over the air, not only listed as paired, and whether all those keep
    one address (the room's own equipment) rather than a rotating one (carried by
    someone). A capture is a list of sightings: source "LE" or "PR", a device key,
    an advertisement that may hold a localName, and maybe a cachedName."""
    with open(path, encoding="utf-8") as f:
        sightings = json.load(f)
    if not isinstance(sightings, list) or not all(isinstance(s, dict) for s in sightings):
        raise ValueError("%s is not a list of sightings" % path)
    names = {}
    for sighting in sightings:
        advertisement = sighting.get("advertisement")
        local_name = advertisement.get("localName") if isinstance(advertisement, dict) else None
        on_air = sighting.get("source") == "LE"
        key = sighting.get("deviceKey")
        # A random address's top two bits: 01 for one that rotates.
        rotating = not (isinstance(key, str) and re.fullmatch(r"[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}", key)) or \
            int(key[:2], 16) >> 6 == 1
        for name in (local_name, sighting.get("cachedName")):
            if isinstance(name, str) and name.strip():
                broadcast, stays = names.get(name, (False, True))
                names[name] = (broadcast or on_air, stays and on_air and not rotating)
    return names


def regulars(names):
    """(name, weekday chance, weekend chance, local hours or None for all day),
    one for each name: the room's equipment is heard around the clock, people's
    devices on most weekdays in office hours, a few part-timers' on fewer."""
    people = sorted((Rng("part-time:" + name).random(), name) for name, (_, stays) in names.items() if not stays)
    part_time = {name for _, name in people[:3]}
    out = []
    for name, (_, stays) in sorted(names.items()):
        if stays:
            out.append((name, 1.0, 1.0, None))
            continue
        r = Rng("regular:" + name)
        hours = (r.uniform(7.7, 9.6), r.uniform(16.3, 18.3))
        weekday = r.uniform(0.2, 0.32) if name in part_time else r.uniform(0.72, 0.96)
        out.append((name, weekday, 0.15 if r.random() < 0.2 else 0.0, hours))
    return out


def curve(points, hour):
    for (h0, v0), (h1, v1) in zip(points, points[1:]):
        if h0 <= hour <= h1:
            return v0 + (v1 - v0) * (hour - h0) / (h1 - h0)
    return points[-1][1]


def crowd_days(days):
    out = []
    for back, begin, length, lift in CROWDS:
        while days.date(back).weekday() >= 5:
            back += 1
        out.append((back, days.at(back, int(begin)), length, lift))
    return out


def level_model(days, local, crowds):
    """The expected number of devices around at a UTC second."""
    factors = {}
    for back in range(DAYS + 2):
        r = Rng("day:%d" % back)
        factors[days.date(back)] = (r.uniform(0.92, 1.08), r.random() < 0.35)
    spans = [(start, start + length * 60, lift) for _, start, length, lift in crowds]

    def level(ts):
        t = local(ts)
        hour = t.hour + t.minute / 60 + t.second / 3600
        factor, someone_in = factors.get(t.date(), (1.0, False))
        if t.weekday() < 5:
            value = 2.4 + factor * WEEKDAY_FACTOR[t.weekday()] * (curve(WEEKDAY, hour) - 2.4)
        else:
            value = curve(WEEKEND, hour) * factor
            if someone_in and 10 <= hour < 14.5:
                value += 4
        for begin, end, lift in spans:
            if begin <= ts < end:
                # People stream in over a few minutes and out again more slowly.
                ramp = min(1.0, (ts - begin) / 420, (end - ts) / 540)
                value += lift(value) * ramp
        return value
    return level


def machine(days, end_minute, crowds):
    """When the program ran (processes) and when its sampling stalled."""
    first = days.at(DAYS, INSTALLED_AT)
    outages = []
    for back, begin, length in OUTAGES:
        start = days.at(back, begin)
        outages.append((start, start + length * 60 + Rng("outage:%d" % back).below(600)))
    # Crowds and outages are left alone, so the crowds' minutes are fully observed.
    keep_clear = [(start - 5400, start + length * 60 + 5400) for _, start, length, _ in crowds] + \
        [(a - 600, b + 600) for a, b in outages] + [(first - 60, first + 600), (end_minute - 1800, end_minute + 60)]

    def clear(a, b):
        return all(b <= c or a >= d for c, d in keep_clear)

    stalls = []
    for back in range(DAYS, -1, -1):
        r = Rng("machine:%d" % back)
        # Busy spells (updates, backups, someone compiling) that starve sampling
        # for seconds at a time.
        for _ in range(1 + r.below(3)):
            start = days.at(back, r.below(86400))
            length = int(r.uniform(8, 30) * 60)
            if start is None or not clear(start, start + length):
                continue
            t = start
            while t < start + length:
                stall = 6 + r.below(20)
                stalls.append((t, t + stall))
                t += stall + 35 + r.below(90)
        # Now and then the program is restarted.
        if r.random() < 0.3:
            start = days.at(back, r.below(86400))
            if start is not None and clear(start, start + 200):
                outages.append((start, start + 10 + r.below(120)))
    processes = Spans([(first, end_minute + 1)]).minus(outages).spans
    return processes, stalls


def history(days, local, end_minute):
    crowds = crowd_days(days)
    level = level_model(days, local, crowds)
    processes, stalls = machine(days, end_minute, crowds)
    sampled = Spans(processes).minus(stalls)
    counted = Spans([(a + WARM_UP, b) for a, b in processes]).minus([(a, b + WARM_UP) for a, b in stalls])

    noise, counts = Rng("minutes"), Rng("counts")
    drift = noise.gauss()
    keep = math.exp(-1 / 20)
    minutes = []
    for a, b in processes:
        # The minute a run stops in is never closed, so never written.
        for m in range(a - a % 60, b - b % 60, 60):
            observed = counted.covered(m, m + 60)
            expected = level(m + 30)
            drift = drift * keep + math.sqrt(1 - keep * keep) * noise.gauss()
            value = expected + drift * (0.2 + 0.08 * expected) + noise.gauss() * (0.2 + 0.03 * expected)
            if observed == 0:
                minutes.append([m, 0, 0.0, 0, 0, 0, 0])
                continue
            # A mean over the minute's samples of whole devices.
            around = round(max(1.0, value) * observed) / observed
            share = observed / 60
            rise = level(m + 60) - level(m)
            minutes.append([m, observed, around,
                            counts.poisson((0.03 + 0.05 * expected) * share),
                            counts.poisson((max(rise, 0) + 0.012 * expected) * share),
                            counts.poisson((max(-rise, 0) + 0.012 * expected) * share),
                            counts.poisson((0.02 + 0.07 * expected) * share)])
    return minutes, crowds, sampled


# ---- Crowds, as the program judges them ----

def around_text(value):
    return "%.2f" % value


def total(values):
    # Added one by one, as the program does: sum() may round differently.
    out = 0.0
    for value in values:
        out += value
    return out


class Judge:
    """The usual level (median hourly means of the four weeks before the day, by
    weekday, kind of day, then neighbouring hours) and the crowd rule over the
    minutes as they read back from the files."""

    def __init__(self, minutes, local):
        self.rows = [(m, observed, float(around_text(around))) for m, observed, around, *_ in minutes]
        groups = {}
        # Local (date, weekday, hour) of every minute, and of the moment it closes.
        self.at = [(t.date(), t.weekday(), t.hour) for t in (local(m) for m, _, _ in self.rows)]
        self.closing = [local(m + 60).date() for m, _, _ in self.rows]
        self.hour_of = []
        for (m, observed, around), (day, weekday, hour) in zip(self.rows, self.at):
            start = m - local(m).minute * 60
            self.hour_of.append(start)
            if observed >= USABLE:
                entry = groups.setdefault(start, [day, weekday, hour, 0.0, 0, start])
                entry[3] += around
                entry[4] += 1
        self.hours = [(day, weekday, hour, added / count, start)
                      for day, weekday, hour, added, count, start in groups.values() if count >= MINUTES_PER_HOUR]
        self.cache = {}
        self.found = self._crowds()

    def usual(self, today, weekday, hour):
        """The usual level and the start of an hour its median comes from."""
        key = (today, weekday, hour)
        if key not in self.cache:
            self.cache[key] = self._usual(today, weekday, hour)
        return self.cache[key]

    def _usual(self, today, weekday, hour):
        first = today - datetime.timedelta(days=LOOKBACK_DAYS)
        weekend = weekday >= 5
        near = {(hour + 23) % 24, hour, (hour + 1) % 24}
        hours = [h for h in self.hours if first <= h[0] < today and (h[1] >= 5) == weekend]
        for chosen in ([h for h in hours if h[2] == hour and h[1] == weekday],
                       [h for h in hours if h[2] == hour],
                       [h for h in hours if h[2] in near]):
            if len({h[0] for h in chosen}) >= DAYS_NEEDED:
                chosen = sorted(chosen, key=lambda h: h[3])
                middle = len(chosen) // 2
                if len(chosen) % 2:
                    return chosen[middle][3], chosen[middle][4]
                return chosen[middle - 1][3] / 2 + chosen[middle][3] / 2, chosen[middle][4]
        return None, None

    def _crowds(self):
        """Every crowd the rule finds, as the program records it, with the rows
        its levels were taken at: started, ended (None while it goes on), usual,
        around at start, peak, and the newest usable rows at the start and at the
        peak."""
        found, open_ = [], None
        usable = [i for i, row in enumerate(self.rows) if row[1] >= USABLE]
        times = [self.rows[i][0] for i in usable]
        for i, ((m, _, _), today) in enumerate(zip(self.rows, self.closing)):
            # The minute closes on the first sample after it, a fraction of a second
            # past m + 60 (recorded as m + 60), so the minute that began 30 minutes
            # before that falls just outside the window.
            now = m + 60
            if open_ is not None:
                # Among the newest minutes handed over, the last usable one: when it
                # lies an hour or more back, the crowd ends there.
                newest = bisect.bisect_right(usable, i) - 1
                if newest >= 0 and usable[newest] > i - HANDED and times[newest] > open_[0]:
                    ended = times[newest] if now - times[newest] >= MAX_GAP else None
                else:
                    ended = open_[0] if now - open_[0] > MAX_GAP else None
                if ended is not None:
                    open_[1] = ended
                    found.append(tuple(open_))
                    open_ = None
                    continue
            recent = usable[bisect.bisect_right(times, now - WINDOW):bisect.bisect_right(times, m)]
            if len(recent) < max(1, WINDOW // 60 * 2 // 3):
                continue
            levels = [self.usual(today, *self.at[j][1:])[0] for j in recent]
            if None in levels:
                continue
            around = total(self.rows[j][2] for j in recent) / len(recent)
            usual = total(levels) / len(levels)
            if open_ is None:
                if around >= usual * RISE_FACTOR and around >= usual + MINIMUM_RISE:
                    open_ = [now, None, usual, around, around, recent[-1], recent[-1]]
            elif around < usual * END_FACTOR:
                open_[1] = now
                found.append(tuple(open_))
                open_ = None
            elif around > open_[4]:
                open_[4], open_[6] = around, recent[-1]
        if open_ is not None:
            found.append(tuple(open_))
        return found


# ---- Documents ----

def exact_in_json(value):
    """Whether the shortest text of the value lies well inside its rounding
    interval, where every shortest-digits printer agrees on it."""
    text = Fraction(repr(value))
    here = Fraction(value)
    low = (here + Fraction(math.nextafter(value, 0))) / 2
    high = (here + Fraction(math.nextafter(value, math.inf))) / 2
    margin = (high - low) / 100
    return low + margin < text < high - margin


def dump(document):
    # The layout the program writes: two-space indent, keys in byte order.
    return json.dumps(document, indent=2, sort_keys=True, ensure_ascii=False) + "\n"


def presence(days, sampled, crowds, end_minute, local, regular):
    """name -> [(first heard, last heard, seconds heard)], one entry a day."""
    out = {}

    def heard(name, begin, end, share):
        begin = sampled.first_from(begin)
        end = min(end, end_minute)
        if begin is None or begin >= end:
            return None
        seconds = int(sampled.covered(begin, end) * share)
        if seconds > 0:
            out.setdefault(name, []).append((begin, end, seconds))
            return len(out[name]) - 1
        return None

    def day(name, hours, back, r, weekend):
        if hours is None:
            end = days.start(back - 1) if back > 0 else end_minute
            heard(name, days.start(back), end, r.uniform(0.95, 0.99))
            return
        arrive = hours[0] + 0.4 * r.gauss()
        leave = hours[1] + 0.5 * r.gauss()
        if weekend:
            arrive, leave = 10.5 + r.random(), 13 + r.random()
        begin = days.at(back, int(arrive * 3600) + r.below(60))
        end = days.at(back, int(leave * 3600))
        if begin is not None:
            heard(name, begin, end if end is not None else end_minute, r.uniform(0.85, 0.97))

    def familiar_days(name):
        seconds = {}
        for begin, _, spent in out.get(name, []):
            date = local(begin).date()
            seconds[date] = seconds.get(date, 0) + spent
        return sum(1 for date, spent in seconds.items()
                   if days.date(LOOKBACK_DAYS) <= date < days.today and spent >= SECONDS_A_DAY_COUNTS)

    for name, weekday_chance, weekend_chance, hours in regular:
        for back in range(DAYS, -1, -1):
            weekend = days.date(back).weekday() >= 5
            r = Rng("named:%d:%s" % (back, name))
            if r.random() < (weekend_chance if weekend else weekday_chance):
                day(name, hours, back, r, weekend)
        # Whoever came in too rarely came in on a few more weekdays too.
        missed = sorted((Rng("extra:%d:%s" % (back, name)).random(), back) for back in range(1, DAYS + 1)
                        if days.date(back).weekday() < 5 and
                        not any(local(b).date() == days.date(back) for b, _, _ in out.get(name, [])))
        for _, back in missed:
            if familiar_days(name) >= REGULAR_DAYS:
                break
            day(name, hours, back, Rng("extra-day:%d:%s" % (back, name)), False)
        if familiar_days(name) < REGULAR_DAYS:
            raise ValueError("%s could not be heard on %d past days" % (name, REGULAR_DAYS))

    # Visitors: a speakerphone brought to the training, a watch at the all-hands
    # that is back today, and headphones that walked past an earlier day and again
    # this morning.
    (_, training, length, _), (allhands_back, allhands, length2, _) = crowds
    heard(SPEAKERPHONE, training - 300, training + length * 60 + 240, 0.97)
    heard(WATCH, allhands - 600, allhands + length2 * 60 + 900, 0.93)
    r = Rng("visitors")
    earlier = days.at(allhands_back - 2, int(11.2 * 3600))
    heard(HEADPHONES, earlier, earlier + 80 + r.below(60), 1.0)
    today = days.start(0)
    # Today: the watch for half an hour some forty minutes ago, the headphones
    # for a minute or two before that; both within what today has so far.
    watch = max(today, end_minute - int(r.uniform(35, 50) * 60))
    heard(WATCH, watch, watch + int(r.uniform(25, 33) * 60), 0.96)
    walk = max(today, watch - int(r.uniform(15, 40) * 60))
    index = heard(HEADPHONES, walk, walk + 600, 1.0)
    if index is not None:
        # Heard for a minute or two of that, not all of it.
        first, end, _ = out[HEADPHONES][index]
        out[HEADPHONES][index] = (first, end, min(60 + r.below(60), sampled.covered(first, end)))
    return out


def named_document(heard, local):
    days = {}
    for name, spans in heard.items():
        for begin, _, seconds in spans:
            day = local(begin).strftime("%Y-%m-%d")
            entry = days.setdefault(name, {}).setdefault(day, {"firstHeard": iso(begin), "seconds": 0})
            entry["seconds"] += seconds
    return {"days": days}


def surges_document(judge, heard, on_air):
    ids = Rng("ids")
    out = []
    for started, ended, usual, at_start, peak, _, _ in judge.found:
        # The program lists the names heard over the air as the crowd started.
        names = sorted(name for name, spans in heard.items()
                       if name in on_air and any(a <= started < b for a, b, _ in spans))
        surge = {"aroundAtStart": at_start, "id": ids.uuid(), "namedDevices": names, "peakAround": peak,
                 "started": iso(started), "usualAround": usual}
        if ended is not None:
            surge["ended"] = iso(ended)
        out.append(surge)
    return out


def settle(minutes, local):
    """Judges the minutes, and while a level a crowd records has a text that not
    every JSON writer would spell the same, adds a sample's worth to a minute it
    comes from and judges again."""
    for _ in range(200):
        judge = Judge(minutes, local)
        bumped = set()
        for _, _, usual, at_start, peak, start_row, peak_row in judge.found:
            if not exact_in_json(at_start):
                bumped.add(start_row)
            if not exact_in_json(peak):
                bumped.add(peak_row)
            if not exact_in_json(usual):
                # The newest minute's usual level comes from this hour's median.
                _, hour = judge.usual(judge.closing[start_row], *judge.at[start_row][1:])
                bumped.add(next(i for i, row in enumerate(judge.rows)
                                if judge.hour_of[i] == hour and row[1] >= USABLE))
        if not bumped:
            return judge
        for i in bumped:
            row = minutes[i]
            row[2] = (round(row[2] * row[1]) + 1) / row[1]
    raise ValueError("the crowds' levels did not settle")


# ---- Output ----

MINUTE_FILE = re.compile(r"minutes-\d{4}-\d{2}-\d{2}\.csv")
OWN = re.compile(r"(minutes-\d{4}-\d{2}-\d{2}\.csv|surges\.json|named-devices\.json)")
# Left behind by an interrupted atomic save.
LEFTOVER = re.compile(r"\.(minutes-\d{4}-\d{2}-\d{2}\.csv|surges\.json|named-devices\.json)\..+")


def files(minutes, surges, named):
    out = {}
    for m, observed, around, passing, arrived, left, moved in minutes:
        day = datetime.datetime.fromtimestamp(m, datetime.timezone.utc).strftime("minutes-%Y-%m-%d.csv")
        lines = out.setdefault(day, [HEADER])
        lines.append("%d,%d,%s,%d,%d,%d,%d" % (m, observed, around_text(around), passing, arrived, left, moved))
    out = {name: "\n".join(lines) + "\n" for name, lines in out.items()}
    out["surges.json"] = dump(surges)
    out["named-devices.json"] = dump(named)
    return out


def check_folder(folder):
    """None when the folder may be written, else why not."""
    if not os.path.exists(folder):
        return None
    if not os.path.isdir(folder):
        return "%s is not a folder" % folder
    for entry in os.scandir(folder):
        ours = OWN.fullmatch(entry.name) or LEFTOVER.fullmatch(entry.name)
        if not ours or not entry.is_file(follow_symlinks=False):
            return "%s holds %s, so it does not look like a history folder; not writing into it" % (
                folder, entry.name)
    return None


def write(folder, contents):
    os.makedirs(folder, exist_ok=True)
    for name, text in sorted(contents.items()):
        handle, temporary = tempfile.mkstemp(prefix="." + name + ".", dir=folder)
        try:
            with os.fdopen(handle, "w", encoding="utf-8", newline="\n") as out:
                out.write(text)
            os.replace(temporary, os.path.join(folder, name))
        except BaseException:
            os.unlink(temporary)
            raise
    # Days from an earlier run that this history does not have.
    for entry in os.scandir(folder):
        if MINUTE_FILE.fullmatch(entry.name) and entry.name not in contents:
            os.unlink(entry.path)


def parse_end(text):
    if text == "now":
        return time.time()
    try:
        end = datetime.datetime.fromisoformat(text)
    except ValueError:
        raise argparse.ArgumentTypeError("not an ISO 8601 time: %r" % text)
    if end.tzinfo is None:
        raise argparse.ArgumentTypeError("%r needs a zone (Z or +hh:mm)" % text)
    if not 1971 <= end.year <= 9998:
        raise argparse.ArgumentTypeError("%r is out of range" % text)
    return end.timestamp()


def parse_zone(text):
    if text == "local":
        return text
    try:
        zoneinfo.ZoneInfo(text)
    except (zoneinfo.ZoneInfoNotFoundError, ValueError):
        raise argparse.ArgumentTypeError("unknown time zone %r" % text)
    return text


def main(argv):
    parser = argparse.ArgumentParser(prog="make_demo_history.py",
                                     description="Writes the demo activity history into OUTPUT_DIR.")
    parser.add_argument("--end", type=parse_end, default=parse_end(DEFAULT_END),
                        help="ISO 8601 time or 'now' (default %s)" % DEFAULT_END)
    parser.add_argument("--zone", type=parse_zone, default="UTC",
                        help="IANA time zone, or 'local' for this machine's (default UTC)")
    parser.add_argument("--capture", default=DEFAULT_CAPTURE,
                        help="the capture whose named devices are the regulars (default the demo capture)")
    parser.add_argument("output", metavar="OUTPUT_DIR")
    args = parser.parse_args(argv[1:])

    try:
        problem = check_folder(args.output)
    except OSError as error:
        problem = str(error)
    if problem:
        sys.stderr.write("make_demo_history.py: %s\n" % problem)
        return 1

    try:
        names = capture_names(args.capture)
    except (OSError, ValueError) as error:
        sys.stderr.write("make_demo_history.py: %s\n" % error)
        return 1
    taken = sorted(set(names) & {SPEAKERPHONE, WATCH, HEADPHONES})
    if taken:
        sys.stderr.write("make_demo_history.py: %s names %s, which must stay new today\n" % (
            args.capture, ", ".join(taken)))
        return 1

    local = clock_for(args.zone)
    end_minute = int(args.end // 60 * 60)
    days = Days(end_minute, local)
    minutes, crowds, sampled = history(days, local, end_minute)
    try:
        judge = settle(minutes, local)
        heard = presence(days, sampled, crowds, end_minute, local, regulars(names))
    except ValueError as error:
        sys.stderr.write("make_demo_history.py: %s\n" % error)
        return 1
    on_air = {name for name, (broadcast, _) in names.items() if broadcast} | {SPEAKERPHONE, WATCH, HEADPHONES}
    contents = files(minutes, surges_document(judge, heard, on_air), named_document(heard, local))
    try:
        write(args.output, contents)
    except OSError as error:
        sys.stderr.write("make_demo_history.py: %s\n" % error)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
