#!/usr/bin/env bash
# An hour (or SECONDS) of `quillmote-cli run` replaying a room of 300 devices at about
# 3,000 sightings a second, history on; samples RSS and CPU every 10 s and prints the
# growth after the first 5 minutes. Not part of the tests.
# Further arguments go to `run`: `-mqttUrl mqtt://127.0.0.1:1883` measures publishing.
# Usage: bench/soak.sh [SECONDS] [BUILD] [-key value ...]   (defaults: 3600, build)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-3600}
build=${2:-build}
shift $(( $# < 2 ? $# : 2 ))
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT

# Ten seconds of the room, which the replay loops: phones with Apple messages, named
# gadgets, beacons, each advertising ten times a second with a wandering signal.
python3 - "$work/room.json" <<'PY'
import datetime, json, random, sys
rng = random.Random(7)
start = datetime.datetime(2026, 3, 5, 9, 0, tzinfo=datetime.timezone.utc)
sightings = []
for device in range(300):
    key = "C0:%02X:%02X:00:00:%02X" % (device >> 8, device & 0xFF, device % 7)
    ad = {"otherFields": {}, "overflowServiceUUIDs": [], "serviceData": {}, "serviceUUIDs": [], "solicitedServiceUUIDs": []}
    if device % 3 == 0:
        ad["manufacturerData"] = "4C 00 10 05 %02X 18 44 00 00" % (device & 0xFF)
    elif device % 3 == 1:
        ad["localName"] = "Sensor %d" % device
        ad["serviceUUIDs"] = ["180F"]
    else:
        ad["serviceData"] = {"FEAA": "10 00 03 71 75 69 6C 6C 6D 6F 74 65"}
    level = rng.uniform(-95, -45)
    for k in range(100):
        level = max(-100, min(-35, level + rng.gauss(0, 2)))
        t = start + datetime.timedelta(seconds=k * 0.1 + device / 3000)
        sightings.append({"advertisement": ad, "deviceKey": key, "rssi": round(level), "source": "LE",
                          "time": t.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (t.microsecond // 1000)})
sightings.sort(key=lambda s: s["time"])
json.dump(sightings, open(sys.argv[1], "w"))
PY

# It runs a little past the last sample, which is taken by the clock, not by counting.
"$build/cli/quillmote-cli" run -replayPath "$work/room.json" -historyPath "$work/history" \
    --duration "$((seconds + 60))" "$@" >"$work/out" 2>"$work/err" &
pid=$!
ticks=$(getconf CLK_TCK)
echo "elapsed_s,rss_kb,cpu_percent,devices"
last_cpu=0
rss_at_5=""
started=$SECONDS
for ((elapsed = 10; elapsed <= seconds; elapsed += 10)); do
    sleep $((started + elapsed - SECONDS > 0 ? started + elapsed - SECONDS : 0))
    kill -0 "$pid" 2>/dev/null || { echo "soak: the program stopped early: $(tail -n 3 "$work/err")" >&2; exit 1; }
    rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
    cpu=$(awk '{print $14 + $15}' /proc/$pid/stat)
    devices=$(tail -n 1 "$work/out" | python3 -c 'import json,sys; print(json.loads(sys.stdin.read() or "{}").get("devices", ""))' 2>/dev/null || true)
    echo "$elapsed,$rss,$(( (cpu - last_cpu) * 100 / ticks / 10 )),$devices"
    last_cpu=$cpu
    [ "$elapsed" = 300 ] && rss_at_5=$rss
done
kill "$pid" 2>/dev/null
if [ -n "$rss_at_5" ]; then
    echo "RSS at 5 min: ${rss_at_5} kB, at the end: ${rss} kB, growth $(( (rss - rss_at_5) * 1000 / rss_at_5 / 10 )).$(( (rss - rss_at_5) * 1000 / rss_at_5 % 10 )) %"
fi
echo "average CPU: $(( cpu * 100 / ticks / seconds )).$(( cpu * 1000 / ticks / seconds % 10 )) % of one core; minutes stored: $(cat "$work"/history/minutes-*.csv 2>/dev/null | grep -vc minute_utc)"
