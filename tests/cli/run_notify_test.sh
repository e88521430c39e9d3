#!/usr/bin/env bash
# quillmote-cli run over a busy replay, with a forced usual level and a two-minute surge
# window, on a private session bus whose notification server is python-dbusmock's.
# Exactly two notifications must arrive: the self-test sample and one for the crowd.
# It runs for about three minutes of real time: a surge needs a minute of listening
# and then a well-observed minute. (The window counts minutes that start inside it,
# and it is judged just after a minute closes, so a one-minute window never holds one.)
set -u
cli=${QUILLMOTE_CLI:?}
data=${QUILLMOTE_TEST_DATA:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

dbus-run-session -- bash -s "$cli" "$data" "$work" <<'INNER'
set -u
cli=$1 data=$2 work=$3
/usr/bin/python3 -m dbusmock --template notification_daemon >"$work/mock.log" 2>&1 &
mock=$!
trap 'kill $mock 2>/dev/null' EXIT
gdbus wait --session --timeout 20 org.freedesktop.Notifications || { echo "FAIL: no mock notification server"; exit 1; }

"$cli" run -replayPath "$data/busy-capture.json" -historyPath "$work/history" -usualOverride 1 \
    -surgeWindowMinutes 2 -notifySelfTest YES --duration 185 >"$work/run.out" 2>"$work/run.err"
status=$?
[ "$status" = 0 ] || { echo "FAIL: run exited $status: $(cat "$work/run.err")"; exit 1; }

gdbus call --session -d org.freedesktop.Notifications -o /org/freedesktop/Notifications \
    -m org.freedesktop.DBus.Mock.GetMethodCalls Notify >"$work/calls.txt"
/usr/bin/python3 - "$work" <<'PY'
import json, os, re, sys
work = sys.argv[1]
calls = open(os.path.join(work, "calls.txt")).read()
titles = calls.count("'Unusual Bluetooth crowd'")
assert titles == 2, "expected the sample and one crowd, got %d: %s" % (titles, calls[:2000])
assert "'48 devices around (usual 30 at this hour).'" in calls, calls[:2000]
bodies = re.findall(r"'(\d+) devices around \(usual 1 at this hour\)\.'", calls)
assert len(bodies) == 1 and int(bodies[0]) >= 100, bodies
assert "'desktop-entry': <'quillmote'>" in calls and "'Quillmote'" in calls, calls[:2000]
surges = json.load(open(os.path.join(work, "history", "surges.json")))
assert len(surges) == 1 and surges[0]["usualAround"] == 1 and "ended" not in surges[0], surges
assert any(n.startswith("minutes-") for n in os.listdir(os.path.join(work, "history")))
print("surge notification checks passed")
PY
INNER
