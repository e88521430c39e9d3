#!/usr/bin/env bash
# Runs quillmote-cli as a user would and checks what reaches stdout, stderr and the exit status.
set -u
cli=${QUILLMOTE_CLI:?}
data=${QUILLMOTE_TEST_DATA:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run ARGS...: keeps stdout, stderr and the exit status in $work.
run() {
    "$cli" "$@" >"$work/out" 2>"$work/err"
    echo $? >"$work/status"
}
status() { cat "$work/status"; }
# expect STATUS TEXT ARGS...: a failure with that status, TEXT on stderr and nothing on stdout.
expect() {
    local want=$1 text=$2
    shift 2
    run "$@"
    [ "$(status)" = "$want" ] && grep -qF -- "$text" "$work/err" && [ ! -s "$work/out" ] ||
        fail "$*: status $(status), expected $want with '$text': $(cat "$work/err")"
}

# A capture prints normalised and is stable when read back.
run fixture "$data/sample-capture.json"
[ "$(status)" = 0 ] || fail "fixture of the sample exited $(status): $(cat "$work/err")"
[ -s "$work/err" ] && fail "fixture of the sample wrote to stderr"
cp "$work/out" "$work/normal.json"
grep -q '"manufacturerData": "4C 00 10 06 1B 1E 8A 4F 3C 18"' "$work/normal.json" || fail "hex not normalised"
grep -q '"time": "2026-03-01T14:05:10.000Z"' "$work/normal.json" || fail "time not normalised"
run fixture "$work/normal.json"
cmp -s "$work/out" "$work/normal.json" || fail "re-encoding a normalised capture changed its bytes"
"$cli" fixture - <"$work/normal.json" | cmp -s - "$work/normal.json" || fail "reading standard input differs"

# Unreadable files: one line on stderr naming the file and the reason, nothing on stdout, status 1.
bad() {
    local name=$1 contents=$2 reason=$3
    printf '%s' "$contents" >"$work/$name"
    expect 1 "$reason" fixture "$work/$name"
    [ "$(wc -l <"$work/err")" = 1 ] && grep -qF "$work/$name" "$work/err" || fail "$name: not one line naming the file"
}
# The reasons themselves are the capture reader's own tests; here, that they reach the user.
ad='"advertisement": {"serviceData": {}, "serviceUUIDs": [], "overflowServiceUUIDs": [], "solicitedServiceUUIDs": [], "otherFields": {}}'
bad object.json '{"sightings": []}' "not a JSON array"
bad syntax.json '[{"source": ' "not valid JSON"
# What the file says is echoed with its control characters escaped, on one line.
bad control.json "[{\"source\": \"LE\", \"deviceKey\": \"K\", \"time\": \"x\\ny\\u001b[2J\", $ad}]" 'Not an ISO 8601 date: x\ny\x1B[2J'
expect 1 "$work/absent.json: No such file or directory" fixture "$work/absent.json"
# Hostile files stop with a reason before they can exhaust memory.
printf '[' >"$work/huge.json"
truncate -s 600M "$work/huge.json"
expect 1 "too large: 600 MB, at most 512 MB" fixture "$work/huge.json"
rm -f "$work/huge.json"

# identify: one entry per key in order of first appearance.
py=/usr/bin/python3
run identify "$data/rotation-capture.json"
[ "$(status)" = 0 ] || fail "identify exited $(status): $(cat "$work/err")"
$py - "$work/out" <<'PY' || fail "identify output"
import json, sys
rows = json.load(open(sys.argv[1]))
# File order, not time order: the tracker's sighting stands last in the file.
assert [r["deviceKey"] for r in rows] == ["11:22:33:44:55:01", "5A:6B:7C:8D:9E:02", "C8:01:02:03:04:05"], rows
speaker = rows[0]
assert speaker["displayName"] == "Kitchen speaker" and speaker["packetCount"] == 2, speaker
assert speaker["certainty"] in ("guess", "likely", "sure") and isinstance(speaker["evidence"], list), speaker
assert set(speaker) >= {"deviceKey", "displayName", "packetCount", "kind", "label", "certainty", "evidence", "details"}
tracker = rows[2]
assert tracker["label"] == "AirTag" and tracker["kind"] == "Tracker" and tracker["maker"] == "Apple", tracker
PY

# table: the rotated address folds onto the first row; the last tick ends one loop later.
run table "$data/rotation-capture.json"
[ "$(status)" = 0 ] || fail "table exited $(status): $(cat "$work/err")"
$py - "$work/out" <<'PY' || fail "table output"
import json, sys
table = json.load(open(sys.argv[1]))
assert table["endedAt"] == "2026-03-01T14:00:22.000Z", table["endedAt"]
assert table["aliases"] == {"5A:6B:7C:8D:9E:02": "11:22:33:44:55:01"}, table["aliases"]
rows = {r["id"]: r for r in table["rows"]}
assert list(rows) == ["11:22:33:44:55:01", "C8:01:02:03:04:05"], list(rows)
speaker = rows["11:22:33:44:55:01"]
# One loop ends where the next begins: its first sighting comes again at 22 s.
assert speaker["identityChanges"] == 1 and speaker["packetCount"] == 5 and speaker["loggedPackets"] == 5, speaker
assert speaker["lastSeen"] == "2026-03-01T14:00:22.000Z" and speaker["freshness"] == "live", speaker
assert speaker["lastRawRSSI"] == -58 and "rssi" in speaker and speaker["proximity"] == "Same room", speaker
assert table["packetLogTotal"] == 6
assert rows["C8:01:02:03:04:05"]["recency"] == "fading"
PY
run table "$data/rotation-capture.json" --seconds 0
$py -c 'import json,sys; t=json.load(open(sys.argv[1])); assert t["endedAt"]=="2026-03-01T14:00:00.000Z" and len(t["rows"])==1, t' "$work/out" ||
    fail "table --seconds 0"
expect 2 "--seconds needs" table "$data/rotation-capture.json" --seconds soon
expect 1 "No such file or directory" table "$work/absent.json"

# activity: the first minute of listening never counts; then every second does.
run activity "$data/rotation-capture.json" --minutes 3
[ "$(status)" = 0 ] || fail "activity exited $(status): $(cat "$work/err")"
expected="minute_utc,observed_s,around,passing,arrived,left,moved
1772373600,0,0.00,0,0,0,0
1772373660,60,2.00,0,0,0,0
1772373720,60,2.00,0,0,0,0"
[ "$(cat "$work/out")" = "$expected" ] || fail "activity output: $(cat "$work/out")"
expect 2 "--minutes" activity "$data/rotation-capture.json"

# find: the tag changes address; the session follows it and says from where.
run find "$data/find-capture.json" --key AA:00:00:00:00:01 --seconds 13
[ "$(status)" = 0 ] || fail "find exited $(status): $(cat "$work/err")"
$py - "$work/out" <<'PY' || fail "find output"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert [l["t"] for l in lines] == list(range(14)), [l["t"] for l in lines]
assert lines[0]["status"] == "tracking" and lines[0]["targetKey"] == "AA:00:00:00:00:01"
assert lines[0]["rssi"] == -60 and lines[0]["trend"] == "Steady" and lines[0]["clicksPerSecond"] > 0
moved = [l for l in lines if l["status"] == "reacquired"]
assert moved and all(l["previousKey"] == "AA:00:00:00:00:01" and l["targetKey"] == "BB:00:00:00:00:02" for l in moved)
assert lines[-1]["status"] == "reacquired" and "candidates" not in lines[-1]
# Last heard at 5 s, so quiet from just after 8 s: the first tick after that moves on.
assert lines[8]["status"] == "tracking" and moved[0]["t"] == 9, (lines[8], moved[0])
PY
# An address folded onto an older row is followed on that row.
run find "$data/rotation-capture.json" --key 5A:6B:7C:8D:9E:02 --seconds 30
[ "$(status)" = 0 ] && [ "$(tail -n 1 "$work/out" | $py -c 'import json,sys; print(json.load(sys.stdin)["targetKey"])')" = 11:22:33:44:55:01 ] ||
    fail "find of a folded address: $(status) $(cat "$work/err") $(tail -n 1 "$work/out")"
expect 1 "nobody" find "$data/find-capture.json" --key nobody

# run: the store headless over a replay, one JSON line a second, after that second's count.
run run -replayPath "$data/rotation-capture.json" -historyPath "$work/history" --rows --duration 2.5
[ "$(status)" = 0 ] || fail "run exited $(status): $(cat "$work/err")"
$py - "$work/out" <<'PY' || fail "run output: $(head -c 600 "$work/out")"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert len(lines) == 3, lines
# The speaker is heard at the first tick, and the first line already counts it.
assert [l["aroundNow"] for l in lines] == [1, 1, 1], lines
for line in lines:
    assert line["status"] == "ready" and line["normal"] == {"learning": 0}, line
    assert line["visible"] <= line["devices"] == len(line["rows"]), line
assert lines[-1]["devices"] >= 1 and lines[-1]["rows"][0]["source"] == "LE"
PY
expect 1 "-replayPath $work/absent.json couldn't be read as a capture: No such file or directory" \
    run -replayPath "$work/absent.json"
expect 2 "unknown option '--frob'" run --frob
expect 2 "--duration needs" run --duration 1e999
# A duration past what a timer holds runs on until stopped; stopped by SIGTERM, as a
# service is, it stores the minute it was counting, whole.
"$cli" run -replayPath "$data/rotation-capture.json" -historyPath "$work/history-term" --duration 3000000 >"$work/out" 2>"$work/err" &
long=$!
sleep 2.5
kill -0 "$long" 2>/dev/null || fail "run --duration 3000000 ended early: $(cat "$work/err")"
kill -TERM "$long"
wait "$long" || fail "run --duration 3000000 did not stop cleanly on SIGTERM"
[ "$(wc -l <"$work/out")" -ge 2 ] || fail "run --duration 3000000 printed $(wc -l <"$work/out") lines"
minute=$(( $(date +%s) / 60 * 60 ))
last=$(tail -n 1 "$work"/history-term/minutes-*.csv 2>/dev/null)
[ "${last%%,*}" = "$minute" ] || [ "${last%%,*}" = $((minute - 60)) ] ||
    fail "SIGTERM did not store the minute being counted: '$last'"
[ "$(tail -c 1 "$work"/history-term/minutes-*.csv | od -An -c | tr -d ' ')" = '\n' ] || fail "SIGTERM left half a line"

# activity-page: the page of a history folder, read only, in the process's zone and locale.
mkdir -p "$work/page"
$py - "$work/page" <<'PY'
import json, sys
folder = sys.argv[1]
start = 1772668800  # 2026-03-05T00:00:00Z
with open(folder + "/minutes-2026-03-05.csv", "w") as f:
    f.write("minute_utc,observed_s,around,passing,arrived,left,moved\n")
    for m in range(15 * 60):  # 10 before 09:00 UTC, 20 after; the 3 AM hour in New York unobserved
        f.write("%d,%d,%.2f,1,2,1,0\n" % (start + 60 * m, 30 if 480 <= m < 540 else 60, 10 if m < 540 else 20.5))
json.dump([{"id": "6F9619FF-8B86-D011-B42D-00C04FC964FF", "started": "2026-03-05T14:02:00Z", "usualAround": 12.5,
            "aroundAtStart": 25, "peakAround": 30.5, "namedDevices": ["Meeting Room TV"]}],
          open(folder + "/surges.json", "w"))
PY
listing() { find "$work/page" -type f -exec md5sum {} + | sort; }
listing >"$work/page.before"
# run_in ZONE LOCALE ARGS...: run, in that time zone and locale.
run_in() {
    local zone=$1 locale=$2
    shift 2
    env TZ="$zone" LANG="$locale" LC_ALL= LC_TIME= "$cli" "$@" >"$work/out" 2>"$work/err"
    echo $? >"$work/status"
}
page() { run_in America/New_York en_US.UTF-8 activity-page --historyPath "$work/page" "$@"; }
page --at 2026-03-05T15:30:00Z --aroundNow 4
[ "$(status)" = 0 ] || fail "activity-page exited $(status): $(cat "$work/err")"
$py - "$work/out" <<'PY' || fail "activity-page today: $(head -c 1500 "$work/out")"
import json, sys
text = open(sys.argv[1]).read()
page = json.loads(text)
assert text == json.dumps(page, indent=2, sort_keys=True, ensure_ascii=False) + "\n"
assert page["summary"] == ("Unusual crowd since 9:02\u202fAM: 31 around at peak, usual 13 · "
                           "busiest today 4\u202fAM–5\u202fAM with 21 around · 1 unusual crowd this week"), page["summary"]
around = page["devicesAround"]
assert page["range"] == "today" and len(around["buckets"]) == 24 and len(page["tooltips"]) == 24
assert around["domain"] == ["2026-03-05T05:00:00.000Z", "2026-03-06T05:00:00.000Z"], around["domain"]
assert around["buckets"][3] == {"start": "2026-03-05T08:00:00.000Z"}, around["buckets"][3]
assert page["tooltips"][4] == {"start": "2026-03-05T09:00:00.000Z", "title": "4\u202fAM",
                               "lines": ["21 around on average"]}, page["tooltips"][4]
points = page["comingsAndGoings"]["points"]
assert [p["start"][11:13] for p in points] == ["05", "06", "07", "09", "10", "11", "12", "13", "14"], points
assert page["comingsAndGoings"]["totals"] == {"arrived": 1080, "left": 540, "moved": 0, "passing": 540}
assert page["crowds"]["rows"] == [{"line1": "Thu, Mar 5, 9:02\u202fAM, still going · 31 around at peak, usual 13",
                                   "line2": "Meeting Room TV"}], page["crowds"]
assert "text" in page["unfamiliar"] and "footnote" in page["unfamiliar"]
PY
page --at 2026-03-05T15:30:00Z --range month
$py - "$work/out" <<'PY' || fail "activity-page month: $(head -c 1500 "$work/out")"
import json, sys
page = json.load(open(sys.argv[1]))
around = page["devicesAround"]
assert page["range"] == "month" and len(around["buckets"]) == 30 and around["series"] == ["Average", "Busiest minute"]
assert around["buckets"][-1] == {"start": "2026-03-05T05:00:00.000Z", "around": 17.0, "peak": 20.5}, around["buckets"][-1]
mondays = [m for m in around["marks"] if "date" in m]
assert [m["date"] for m in mondays] == ["9 Feb", "16 Feb", "23 Feb", "2 Mar"] and {m["label"] for m in mondays} == {"M"}
PY
# Before the crowd began it is not there yet; a 24-hour clock has no AM or PM.
run_in Europe/Berlin de_DE.UTF-8 activity-page --historyPath "$work/page" --at 2026-03-05T14:00:00Z
[ "$(status)" = 0 ] && grep -q '"summary": "0 around now. Still learning.* · busiest today 10 Uhr–11 Uhr with 21 around · no unusual crowds this week"' "$work/out" &&
    ! grep -q 'AM\|PM' "$work/out" || fail "activity-page in German before the crowd: $(grep summary "$work/out") $(cat "$work/err")"
listing | cmp -s - "$work/page.before" || fail "activity-page changed the history folder"
run activity-page --historyPath "$work/nowhere" --range month
[ "$(status)" = 0 ] && grep -q '"text": "None recorded yet' "$work/out" || fail "activity-page of a missing folder: $(cat "$work/err")"
[ -e "$work/nowhere" ] && fail "activity-page created the missing folder"
expect 1 "$work/page.before: Not a folder" activity-page --historyPath "$work/page.before"
[ "$(wc -l <"$work/err")" = 1 ] || fail "activity-page of a file: not one line"
expect 2 "--range is today or month" activity-page --historyPath "$work/page" --range week
expect 2 "--at needs an ISO 8601 time" activity-page --historyPath "$work/page" --at yesterday
expect 2 "activity-page needs --historyPath" activity-page

# private_bus: starts a dbus-daemon of its own, for address and bus_pid.
private_bus() {
    { read -r address; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
}

# run on a private session bus whose notification server is python-dbusmock's: the
# sample notification is posted once the history has been read.
notify_checks() {
    local address bus_pid mock
    private_bus || { fail "notify: no private dbus-daemon"; return; }
    DBUS_SESSION_BUS_ADDRESS=$address /usr/bin/python3 -m dbusmock --template notification_daemon >"$work/notify.log" 2>&1 &
    mock=$!
    if DBUS_SESSION_BUS_ADDRESS=$address gdbus wait --session --timeout 10 org.freedesktop.Notifications; then
        DBUS_SESSION_BUS_ADDRESS=$address run run -replayPath "$data/rotation-capture.json" -historyPath "$work/notify" \
            -notifySelfTest YES --duration 1.5
        DBUS_SESSION_BUS_ADDRESS=$address gdbus call --session -d org.freedesktop.Notifications \
            -o /org/freedesktop/Notifications -m org.freedesktop.DBus.Mock.GetMethodCalls Notify >"$work/calls"
        [ "$(grep -o "'Unusual Bluetooth crowd'" "$work/calls" | wc -l)" = 1 ] &&
            grep -qF "'48 devices around (usual 30 at this hour).'" "$work/calls" ||
            fail "run -notifySelfTest YES: $(status) $(cat "$work/err" "$work/calls")"
    else
        fail "notify: the mock never took org.freedesktop.Notifications: $(cat "$work/notify.log")"
    fi
    kill "$mock" "$bus_pid" 2>/dev/null
}
notify_checks

# bluez-status on a private bus standing in for the system bus, with python-dbusmock's
# bluez5 template as bluetoothd.
bluez_status_checks() {
    local address bus_pid mock
    private_bus || { fail "bluez-status: no private dbus-daemon"; return; }
    export DBUS_SYSTEM_BUS_ADDRESS=$address
    # No bluetoothd on the bus yet.
    run bluez-status
    [ "$(status)" = 0 ] && grep -q '"status": "starting"' "$work/out" && grep -q '"adapter": null' "$work/out" ||
        fail "bluez-status without bluetoothd: $(status) $(cat "$work/out" "$work/err")"
    /usr/bin/python3 -m dbusmock --template bluez5 --system >"$work/bluez.log" 2>&1 &
    mock=$!
    if gdbus wait --system --timeout 10 org.bluez; then
        run bluez-status
        [ "$(status)" = 0 ] && grep -q '"status": "unsupported"' "$work/out" && grep -q '"adapter": null' "$work/out" ||
            fail "bluez-status without an adapter: $(status) $(cat "$work/out" "$work/err")"
        gdbus call --system -d org.bluez -o / -m org.bluez.Mock.AddAdapter hci0 "My PC" >/dev/null
        run bluez-status
        [ "$(status)" = 0 ] || fail "bluez-status with an adapter exited $(status): $(cat "$work/err")"
        $py - "$work/out" <<'PY' || fail "bluez-status with an adapter: $(cat "$work/out")"
import json, sys
text = open(sys.argv[1]).read()
out = json.loads(text)
assert out == {"adapter": {"address": "00:01:02:03:04:05", "name": "My PC", "path": "/org/bluez/hci0"},
               "status": "ready"}, out
assert text == json.dumps(out, indent=2, sort_keys=True) + "\n", text
PY
        # It only looks: no discovery was started.
        gdbus call --system -d org.bluez -o /org/bluez/hci0 -m org.freedesktop.DBus.Mock.GetCalls | grep -q Discovery &&
            fail "bluez-status started a discovery"
    else
        fail "bluez-status: the bluez5 mock never took org.bluez: $(cat "$work/bluez.log")"
    fi
    kill "$mock" 2>/dev/null
    kill "$bus_pid" 2>/dev/null
    # No bus at all.
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-bus
    run bluez-status
    [ "$(status)" = 1 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -q "^quillmote-cli: " "$work/err" && [ ! -s "$work/out" ] ||
        fail "bluez-status without a bus: $(status) $(cat "$work/out" "$work/err")"
    unset DBUS_SYSTEM_BUS_ADDRESS
}
bluez_status_checks

# Help and usage errors.
run --help
[ "$(status)" = 0 ] && grep -q "fixture FILE" "$work/out" || fail "--help"
expect 2 "unknown subcommand 'frobnicate'" frobnicate
grep -q "Subcommands:" "$work/err" || fail "an unknown subcommand does not list the subcommands"
expect 2 "unknown option '--frob'" fixture --frob "$data/sample-capture.json"
grep -q "Usage: quillmote-cli fixture FILE" "$work/err" || fail "an unknown option does not show the usage"
expect 2 "fixture needs exactly one FILE" fixture
expect 2 "no subcommand given" 

# The shipped demo capture reads back as written, replays as a plausible room, and is
# exactly what its generator writes, so the two never drift apart.
root=$(dirname "$0")/../..
demo=$root/data/demo-capture.json
run fixture "$demo"
[ "$(status)" = 0 ] || fail "fixture of the demo capture exited $(status): $(cat "$work/err")"
$py -c 'import json,sys; assert json.load(open(sys.argv[1])) == json.load(open(sys.argv[2]))' "$demo" "$work/out" ||
    fail "the demo capture is not in normal form"
run table "$demo"
[ "$(status)" = 0 ] || fail "table of the demo capture exited $(status): $(cat "$work/err")"
$py - "$work/out" <<'PY' || fail "the demo capture's room"
import json, sys
rows = json.load(open(sys.argv[1]))["rows"]
assert len(rows) >= 15, len(rows)
assert any(r["identityChanges"] >= 1 for r in rows), "no rotated address folded"
assert any(r["source"] == "PR" and "batteryPercent" in r for r in rows), "no paired device with a battery"
kinds = {r["kind"] for r in rows} - {"Unknown"}
assert len(kinds) >= 6, kinds
PY
if $py "$root/tools/make_demo_capture.py" "$work/demo.json"; then
    cmp -s "$work/demo.json" "$demo" || fail "the generator no longer writes the shipped demo capture"
else
    fail "the demo capture generator failed"
fi
# The same for the demo history; laid out to end now, it reaches the minute file of
# today (or of yesterday during the first minute of a day, as nothing is closed yet).
if $py "$root/tools/make_demo_history.py" "$work/demo-history"; then
    diff -r "$work/demo-history" "$root/data/demo-history" >/dev/null ||
        fail "the generator no longer writes the shipped demo history"
else
    fail "the demo history generator failed"
fi
before=$(date -u -d '1 minute ago' +%F)
$py "$root/tools/make_demo_history.py" --end now --zone UTC "$work/history-now" ||
    fail "the demo history generator failed to end now"
after=$(date -u -d '1 minute ago' +%F)
[ -s "$work/history-now/minutes-$before.csv" ] || [ -s "$work/history-now/minutes-$after.csv" ] ||
    fail "a demo history ending now has no minutes for today: $(ls "$work/history-now")"

# Logs other tools wrote: imported as captures, read by every command, told apart by content.
logs=$data/logs
run import "$logs/btmon.log" --output "$work/btmon.json"
[ "$(status)" = 0 ] && [ "$(cat "$work/err")" = "36 advertisements from 5 devices" ] ||
    fail "import of a btmon log: status $(status): $(cat "$work/err")"
"$cli" fixture "$work/btmon.json" | cmp -s - "$work/btmon.json" || fail "an imported log is not a normalised capture"
cp "$logs/sniffer.pcapng" "$work/sniffer.json"  # the name says nothing
run identify "$work/sniffer.json"
[ "$(status)" = 0 ] && [ "$($py -c 'import json,sys; print(len(json.load(sys.stdin)))' <"$work/out")" = 3 ] ||
    fail "identify of a sniffer's pcapng: status $(status): $(cat "$work/err")"
grep -qF "11 advertisements from 3 devices" "$work/err" || fail "identify of a log did not say what it read"
head -c 2000 "$logs/btmon.log" >"$work/cut.log"
run import "$work/cut.log"
[ "$(status)" = 0 ] && grep -q "advertisements from .* devices; 1 truncated record skipped$" "$work/err" ||
    fail "a log cut short: status $(status): $(cat "$work/err")"
expect 1 "not a capture, nor a btsnoop, pcap or pcapng log" import "$data/../cli/cli_test.sh"
run run -replayPath "$logs/sniffer.pcapng" -historyPath "$work/history-log" --duration 1.5
[ "$(status)" = 0 ] && grep -q '"devices":3' "$work/out" || fail "a log does not replay: $(cat "$work/err")"

if [ "$failures" -gt 0 ]; then
    echo "$failures cli check(s) failed"
    exit 1
fi
echo "cli checks passed"
