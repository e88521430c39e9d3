#!/usr/bin/env bash
# The CPU cost of the BlueZ scanner per D-Bus signal. A private bus plays the system
# bus; python-dbusmock's bluez5 template plays bluetoothd with one powered adapter and
# DEVICES devices, and a Flood method added to it emits RATE PropertiesChanged a second
# (RSSI + ManufacturerData, as BlueZ does with DuplicateData) for SECONDS seconds,
# round-robin over the devices. flood_probe runs the scanner meanwhile and prints its
# process CPU time per signal; the bus daemon's own CPU time over the same run is
# printed beside it, since every signal crosses it too.
# With --hostile, the mock instead plays a hostile radio: RATE signals a second from one
# device with a 10 KB name and 64 KB of manufacturer data, and 10,000 new addresses a
# minute; PROBE is then quillmote-window-flood, which prints the window's main-thread
# delays and memory.
# Usage: bench/bluez_flood/run.sh [--hostile] PROBE [RATE] [SECONDS] [DEVICES]
#   PROBE: the built quillmote-bluez-flood (build with -DQUILLMOTE_BENCH=ON)
set -euo pipefail
hostile=0
if [ "${1:-}" = --hostile ]; then hostile=1; shift; fi
probe=${1:?usage: run.sh [--hostile] PROBE [RATE] [SECONDS] [DEVICES]}
rate=${2:-2000}
seconds=${3:-30}
devices=${4:-20}
work=$(mktemp -d)
cleanup() {
    [ -n "${mock:-}" ] && kill "$mock" 2>/dev/null
    [ -n "${bus_pid:-}" ] && kill "$bus_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

{ read -r address; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SYSTEM_BUS_ADDRESS=$address DBUS_SESSION_BUS_ADDRESS=$address
/usr/bin/python3 -m dbusmock --template bluez5 --system >"$work/mock.log" 2>&1 &
mock=$!
gdbus wait --system --timeout 10 org.bluez
G=(gdbus call --system -d org.bluez)
"${G[@]}" -o / -m org.bluez.Mock.AddAdapter hci0 "Flood PC" >/dev/null
for i in $(seq 1 "$devices"); do
    "${G[@]}" -o / -m org.bluez.Mock.AddDevice hci0 "$(printf 'C0:FF:EE:00:%02X:%02X' $((i / 256)) $((i % 256)))" "Device $i" >/dev/null
done

# Runs inside the mock: a GLib timer emits the signals at the given rate, from the
# org.bluez connection itself, so they reach the scanner as bluetoothd's would.
read -r -d '' flood <<'PY' || true
from gi.repository import GLib
state = {'sent': 0, 'start': time.monotonic(), 'rate': args[0], 'seconds': args[1],
         'paths': sorted(p for p in objects if '/dev_' in p)}
def tick(state=state):
    import time, dbus
    from dbusmock.mockobject import objects
    now = time.monotonic()
    target = int(min(now - state['start'], state['seconds']) * state['rate'])
    while state['sent'] < target:
        n = state['sent']
        device = objects[state['paths'][n % len(state['paths'])]]
        data = dbus.ByteArray(bytes([0x10, 0x06, 0x1b, 0x1e, 0x8a, 0x4f, 0x3c, n % 256]))
        device.EmitSignal('org.freedesktop.DBus.Properties', 'PropertiesChanged', 'sa{sv}as', [
            'org.bluez.Device1',
            {'RSSI': dbus.Int16(-40 - n % 50, variant_level=1),
             'ManufacturerData': dbus.Dictionary({dbus.UInt16(0x004c): data}, signature='qv', variant_level=1)},
            dbus.Array([], signature='s')])
        state['sent'] += 1
    return now - state['start'] < state['seconds']
GLib.timeout_add(5, tick)
PY
read -r -d '' hostile_flood <<'PY' || true
from gi.repository import GLib
state = {'sent': 0, 'added': 0, 'start': time.monotonic(), 'rate': args[0], 'seconds': args[1],
         'path': sorted(p for p in objects if '/dev_' in p)[0]}
def tick(state=state):
    import time, dbus
    from dbusmock.mockobject import objects
    now = time.monotonic()
    elapsed = min(now - state['start'], state['seconds'])
    while state['added'] < int(elapsed * 10000 / 60):
        i = state['added']
        path = '/org/bluez/hci0/dev_F0_00_00_%02X_%02X_%02X' % (i >> 16, (i >> 8) & 255, i & 255)
        objects[state['path']].EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded', 'oa{sa{sv}}', [
            dbus.ObjectPath(path), {'org.bluez.Device1': {'RSSI': dbus.Int16(-60 - i % 30)}}])
        state['added'] += 1
    device = objects[state['path']]
    while state['sent'] < int(elapsed * state['rate']):
        n = state['sent']
        changed = {'RSSI': dbus.Int16(-50 - n % 20)}
        if n % 500 == 0:
            changed.update({'Name': (chr(0x202e) + 'Kitchen' + chr(7)) * 1100,
                            'ManufacturerData': dbus.Dictionary({dbus.UInt16(76): dbus.ByteArray(bytes(65536))},
                                                                signature='qv')})
        device.EmitSignal('org.freedesktop.DBus.Properties', 'PropertiesChanged', 'sa{sv}as',
                          ['org.bluez.Device1', changed, dbus.Array([], signature='s')])
        state['sent'] += 1
    return now - state['start'] < state['seconds']
GLib.timeout_add(5, tick)
PY
[ "$hostile" = 1 ] && flood=$hostile_flood
"${G[@]}" -o / -m org.freedesktop.DBus.Mock.AddMethod org.bluez.Mock Flood dd '' "$flood" >/dev/null

# CPU seconds (user + system) a process has used so far.
cpu_of() { awk -v ticks="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); print ($12 + $13) / ticks }' "/proc/$1/stat"; }

"$probe" $((seconds + 4)) >"$work/probe.json" 2>"$work/probe.err" &
probe_pid=$!
sleep 2  # the scanner finds the adapter and starts discovery
bus_cpu_before=$(cpu_of "$bus_pid")
"${G[@]}" -o / -m org.bluez.Mock.Flood "$rate" "$seconds" >/dev/null
wait "$probe_pid"
bus_cpu=$(awk -v a="$bus_cpu_before" -v b="$(cpu_of "$bus_pid")" 'BEGIN { print b - a }')
if [ "$hostile" = 1 ]; then
    echo "hostile radio for ${seconds}s: ${rate} signals/s from one device, 10000 new addresses a minute"
    cat "$work/probe.json"
    exit 0
fi
echo "rate ${rate}/s for ${seconds}s over ${devices} devices: expected $((rate * seconds)) signals"
cat "$work/probe.json"
/usr/bin/python3 -c '
import json, sys
probe = json.load(open(sys.argv[1]))
rate = float(sys.argv[2])
print("scanner process: %.1f us CPU per signal, %.1f %% of one core at %d signals/s"
      % (probe["cpuMicrosecondsPerSignal"], probe["cpuMicrosecondsPerSignal"] * rate / 1e4, rate))
signals = probe["signals"]
if signals:
    print("bus daemon: %.1f us CPU per signal" % (float(sys.argv[3]) * 1e6 / signals))
' "$work/probe.json" "$rate" "$bus_cpu"
