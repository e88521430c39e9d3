#!/usr/bin/env python3
"""Publishing to a real broker: `quillmote-cli run` replays rooms on fast clocks
(libfaketime, a minute every two seconds) into private mosquitto brokers, watched by
mosquitto_sub:

- two rooms become two Home Assistant devices with their own sensors, and every topic
  carries what it should, retained where it should be;
- the broker going away and coming back loses no minute record;
- a killed program leaves its last will, "offline";
- refused credentials are said once, and the right ones are taken;
- over TLS, a broker whose certificate cannot be verified is said, and the given
  certificate authority is used.
"""
import calendar
import json
import os
import pwd
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import fast_clock
from fast_clock import wait_for

CLI = os.environ["QUILLMOTE_CLI"]
DEMO = os.environ["QUILLMOTE_DEMO"]
ROOM_B = os.environ["QUILLMOTE_ROOM_B"]
failures = []
running = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start(command, out, err=subprocess.DEVNULL, env=None):
    # A session of its own: faketime waits on the program as its child, and a kill must reach both.
    process = subprocess.Popen(command, stdout=open(out, "wb"), stderr=err, env=env, start_new_session=True)
    running.append(process)
    return process


def stop(process, how=signal.SIGTERM):
    fast_clock.stop(process, how)


def broker(work, port, name, extra=""):
    conf = work / f"{name}.conf"
    # Run as root, mosquitto would switch to its own user, who cannot read the test's folder.
    conf.write_text(f"user {pwd.getpwuid(os.getuid()).pw_name}\nlistener {port} 127.0.0.1\n"
                    f"persistence true\npersistence_location {work}/\npersistence_file {name}.db\n{extra}")
    process = start(["mosquitto", "-c", str(conf)], work / f"{name}.log", subprocess.STDOUT)
    wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 10)
    return process


def watch(work, port, name, *credentials):
    """mosquitto_sub with a lasting session, so the broker keeps what it misses while away."""
    command = ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-c", "-i", f"watch-{name}", "-q", "1",
               "-t", "quillmote/#", "-t", "homeassistant/#", "-F", "%r %t %p", *credentials]
    return start(command, work / f"{name}.sub")


def run(work, port, topic, capture, *extra):
    command = ["faketime", "-f", "+0 x30", CLI, "run", "-replayPath", capture, "-historyPath",
               str(work / f"history-{topic.replace('/', '-')}"), "-mqttUrl", f"mqtt://127.0.0.1:{port}",
               "-mqttTopic", topic, *extra]
    return start(command, work / "run.out", open(work / f"{topic.replace('/', '-')}.err", "wb"))


def messages(work, name):
    """(retained, topic, payload) per message received, in order."""
    path = work / f"{name}.sub"
    result = []
    for line in path.read_text(errors="replace").splitlines() if path.exists() else []:
        retained, topic, payload = (line.split(" ", 2) + ["", ""])[:3]
        result.append((retained == "1", topic, payload))
    return result


def minutes(work, name, topic):
    return [json.loads(p)["minute"] for _, t, p in messages(work, name) if t == topic + "/minute"]


def check_none_lost(work, room):
    """Every minute the room stored, up to the last one published, was published."""
    published = {calendar.timegm(time.strptime(m, "%Y-%m-%dT%H:%M:%S.000Z"))
                 for m in minutes(work, "all", f"quillmote/{room}")}
    stored = set()
    for day in (work / f"history-quillmote-{room}").glob("minutes-*.csv"):
        stored |= {int(line.split(",")[0]) for line in day.read_text().splitlines()[1:] if line}
    lost = sorted(m for m in stored - published if m < max(published, default=0))
    if lost or len(published) < 5:
        fail(f"{room}: {len(published)} minute records published, stored but not published: {lost}")


def rooms_and_reconnection(work):
    port = free_port()
    mqtt = broker(work, port, "broker", "allow_anonymous true\n")
    watcher = watch(work, port, "all")
    time.sleep(0.5)  # subscribed before anything is published
    room_a = run(work, port, "quillmote/room-a", DEMO)
    run(work, port, "quillmote/room-b", ROOM_B)
    if not wait_for(lambda: len(minutes(work, "all", "quillmote/room-a")) >= 3, 30):
        fail("no minute records from room a")
        return

    got = messages(work, "all")
    # Retained messages as a newcomer gets them.
    retained = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "--retained-only", "-W", "1",
                               "-t", "quillmote/#", "-t", "homeassistant/#", "-F", "%r %t %p"],
                              capture_output=True, text=True).stdout
    last = {topic: (flag == "1", payload)
            for flag, topic, payload in (line.split(" ", 2) for line in retained.splitlines())}
    for room in ("room-a", "room-b"):
        node = f"quillmote_{room}"
        configs = {f"homeassistant/sensor/{node}/around/config": "Devices around",
                   f"homeassistant/sensor/{node}/usual/config": "Usual devices",
                   f"homeassistant/binary_sensor/{node}/crowd/config": "Unusual crowd"}
        for topic, name in configs.items():
            retained, payload = last.get(topic, (False, "{}"))
            config = json.loads(payload)
            if not retained or config.get("name") != name or config.get("device", {}).get("identifiers") != [node] \
                    or config.get("state_topic", "").split("/")[:2] != ["quillmote", room] \
                    or config.get("availability_topic") != f"quillmote/{room}/status":
                fail(f"{topic}: {payload}")
        prefix = f"quillmote/{room}"
        for level, valid in (("status", lambda p: p == "online"), ("around", str.isdigit),
                             ("usual", lambda p: p == "learning"), ("crowd", lambda p: p == "none"),
                             ("unfamiliar", lambda p: isinstance(json.loads(p), list))):
            retained, payload = last.get(f"{prefix}/{level}", (False, None))
            if not retained or payload is None or not valid(payload):
                fail(f"{prefix}/{level}: retained {retained}, {payload!r}")
    if any(t.endswith("/minute") for t in last):
        fail("a minute record was retained")
    record = json.loads(next(p for _, t, p in got if t == "quillmote/room-a/minute"))
    if set(record) != {"minute", "observedSeconds", "around", "passing", "arrived", "left", "moved"}:
        fail(f"a minute record holds {sorted(record)}")

    # The broker goes for about two minutes of the rooms' time, and comes back.
    before = len(minutes(work, "all", "quillmote/room-a"))
    stop(mqtt)
    time.sleep(4)
    mqtt = broker(work, port, "broker", "allow_anonymous true\n")
    if not wait_for(lambda: len(set(minutes(work, "all", "quillmote/room-a"))) >= before + 5, 40):
        fail(f"minute records did not resume after the broker came back: {minutes(work, 'all', 'quillmote/room-a')}")
    for room in ("room-a", "room-b"):
        check_none_lost(work, room)

    # Killed outright, room a leaves its last will.
    stop(room_a, signal.SIGKILL)
    if not wait_for(lambda: any(t == "quillmote/room-a/status" and p == "offline"
                                for _, t, p in messages(work, "all")), 10):
        fail("no last will after the program was killed")
    print(f"rooms: {len(set(minutes(work, 'all', 'quillmote/room-a')))} minutes from room a, "
          f"{len(set(minutes(work, 'all', 'quillmote/room-b')))} from room b, none missing across a broker restart")
    stop(watcher)


def refused_credentials(work):
    port = free_port()
    users = work / "users"
    subprocess.run(["mosquitto_passwd", "-b", "-c", str(users), "room", "right"], check=True)
    broker(work, port, "guarded", f"allow_anonymous false\npassword_file {users}\n")
    (work / "wrong").write_text("wrong\n")
    (work / "right").write_text("right\n")
    wrong = run(work, port, "quillmote/guarded", DEMO, "-mqttUser", "room", "-mqttPasswordFile", str(work / "wrong"))
    err = work / "quillmote-guarded.err"
    said = lambda: [l for l in err.read_text(errors="replace").splitlines() if "MQTT" in l]
    if not wait_for(lambda: said(), 10):
        fail("refused credentials were never reported")
    time.sleep(3)  # retried meanwhile, and not said again
    if said() != ["quillmote-cli: MQTT: not authorised"]:
        fail(f"refused credentials: said {said()}")
    stop(wrong)

    watcher = watch(work, port, "guarded", "-u", "room", "-P", "right")
    run(work, port, "quillmote/guarded", DEMO, "-mqttUser", "room", "-mqttPasswordFile", str(work / "right"))
    if not wait_for(lambda: any(t == "quillmote/guarded/status" and p == "online"
                                for _, t, p in messages(work, "guarded")), 10):
        fail("the right password was not taken")
    stop(watcher)
    print("credentials: refused ones said once, right ones taken")


def tls(work):
    """mqtts:// with the broker's certificate authority given, and with the system's, which does not know it."""
    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True, cwd=work)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt", "-days", "2",
            "-subj", "/CN=test authority")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "broker.key", "-out", "broker.csr", "-subj", "/CN=broker")
    (work / "names").write_text("subjectAltName=IP:127.0.0.1\n")
    openssl("x509", "-req", "-in", "broker.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
            "-out", "broker.crt", "-extfile", "names")
    port = free_port()
    broker(work, port, "tls", f"allow_anonymous true\ncafile {work}/ca.crt\ncertfile {work}/broker.crt\n"
                              f"keyfile {work}/broker.key\n")
    url = ["-mqttUrl", f"mqtts://127.0.0.1:{port}"]
    unknown = run(work, port, "quillmote/tls", DEMO, *url)
    err = work / "quillmote-tls.err"
    if not wait_for(lambda: "MQTT: TLS: certificate verify failed" in err.read_text(errors="replace"), 10):
        fail(f"an unverifiable broker was not reported: {err.read_text(errors='replace')}")
    stop(unknown)
    watcher = watch(work, port, "tls", "--cafile", str(work / "ca.crt"))
    run(work, port, "quillmote/tls", DEMO, *url, "-mqttCaFile", str(work / "ca.crt"))
    if not wait_for(lambda: any(t == "quillmote/tls/status" and p == "online" for _, t, p in messages(work, "tls")), 10):
        fail("the broker's own certificate authority was not taken")
    stop(watcher)
    print("tls: an unknown authority said, the given one taken")


def main():
    for check in (rooms_and_reconnection, refused_credentials, tls):
        work = Path(tempfile.mkdtemp())
        try:
            check(work)
        finally:
            while running:
                process = running.pop()
                if process.poll() is None:
                    stop(process)
            subprocess.run(["rm", "-rf", str(work)])
    if failures:
        print(f"{len(failures)} failures")
        sys.exit(1)
    print("mqtt checks passed")


if __name__ == "__main__":
    main()
