#!/usr/bin/env python3
"""What a crash, a full disk and an unwritable folder do to the activity history.

`quillmote-cli run` replays the demo room with a history folder under libfaketime,
which makes its clocks run fast so that minutes close every fraction of a second:

- killed with SIGKILL at random moments and restarted on the same folder, again and
  again: no complete line is ever lost or changed, at most one line is spoilt per kill,
  no minute is stored twice, and both JSON documents always parse;
- with a file-size limit (a full disk) and with a read-only folder: it keeps counting,
  says once why history is not saved, leaves nothing partial, and writes what it kept
  in memory once writing works again.
"""
import datetime
import json
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from fast_clock import stop, wait_for

CLI = os.environ["QUILLMOTE_CLI"]
DEMO = os.environ["QUILLMOTE_DEMO"]
LINE = re.compile(r"^-?\d+(\.\d+)?,-?\d+,-?\d+(\.\d+)?,-?\d+,-?\d+,-?\d+,-?\d+$")
failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def start(folder, fake, extra=(), home=None, limit=None, user=None):
    """Starts `run` with its clocks set by `fake` (faketime's own notation); output goes to files."""
    command = ["faketime", "-m", "-f", fake, CLI, "run", "-replayPath", DEMO, "-historyPath", str(folder), *extra]
    if user is not None:
        command = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", "--"] + command

    def limited():
        if limit is not None:
            # A full disk: writes past the limit fail with EFBIG instead of killing the process.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))

    env = dict(os.environ, HOME=str(home or folder.parent))
    # A session of its own: faketime waits on the program as its child, and a kill
    # must reach both. Output goes through pipes, which a file-size limit leaves alone.
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
                               preexec_fn=limited, start_new_session=True)
    for stream, name in ((process.stdout, "out"), (process.stderr, "err")):
        threading.Thread(target=copy, args=(stream, folder.parent / name), daemon=True).start()
    return process


def copy(stream, path):
    with open(path, "ab") as file:
        for chunk in iter(lambda: stream.read1(4096), b""):
            file.write(chunk)
            file.flush()


def kill(process, how=signal.SIGKILL):
    stop(process, how)


def program(process):
    """The program's own process: faketime's child."""
    children = Path(f"/proc/{process.pid}/task/{process.pid}/children").read_text().split()
    return int(children[0]) if children else process.pid


def day_files(folder):
    return sorted(folder.glob("minutes-*.csv"))


def data_lines(path):
    """The complete lines after the header, and whether the file ends mid-line."""
    text = path.read_bytes().decode("utf-8", "replace")
    lines = text.split("\n")
    return lines[1:-1], lines[-1] != ""


def minutes_of(lines):
    return [float(line.split(",")[0]) for line in lines if LINE.match(line)]


def documents_parse(folder, when):
    for name in ("surges.json", "named-devices.json"):
        path = folder / name
        if path.exists():
            try:
                json.loads(path.read_text())
            except ValueError as error:
                fail(f"{name} {when} does not parse: {error}")


def kill_and_restart(work, kills=30):
    folder = work / "history"
    folder.mkdir()
    rng = random.Random(int(os.environ.get("QUILLMOTE_KILL_SEED", "1")))
    seen = {}  # day file -> its complete lines at the last look
    fake = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    spoilt = 0
    closed = 0  # runs that replaced surges.json to close the episode
    for run in range(kills):
        # Every run goes on from where the last one stopped, as after a short outage.
        # Every other one finds a crowd episode left open hours ago, which it closes:
        # a replacement of surges.json that a kill may cut into.
        if run % 2 == 1:
            (folder / "surges.json").write_text(json.dumps([{
                "id": "6F2C1A9E-3B4D-4E5F-8A7B-1C2D3E4F5A6B", "usualAround": 5.0, "aroundAtStart": 20.0,
                "peakAround": 25.0, "namedDevices": ["Desk Hub"],
                "started": (fake - datetime.timedelta(hours=3)).strftime("%Y-%m-%dT%H:%M:%SZ")}]))
        process = start(folder, "@" + fake.strftime("%Y-%m-%d %H:%M:%S") + " x300")
        time.sleep(rng.uniform(0.8, 2.0))
        kill(process)
        documents_parse(folder, f"after kill {run + 1}")
        if run % 2 == 1 and json.loads((folder / "surges.json").read_text())[0].get("ended"):
            closed += 1
        spoilt = 0
        newest = None
        for path in day_files(folder):
            lines, _ = data_lines(path)
            before = seen.get(path.name, [])
            if lines[: len(before)] != before:
                fail(f"kill {run + 1}: {path.name} lost or changed lines it held before")
            seen[path.name] = lines
            spoilt += sum(1 for line in lines if not LINE.match(line))
            stored = minutes_of(lines)
            if stored:
                newest = max(newest or stored[-1], stored[-1])
        if spoilt > run + 1:
            fail(f"{spoilt} spoilt lines after {run + 1} kills")
        if newest is not None:
            # Before a run that finds the open episode, history stops for two hours,
            # which ends an episode; some runs start with the clock back inside minutes
            # already stored, which must not be stored again.
            gap = 7200 if run % 2 == 0 else (-90 if run % 4 == 1 else 120)
            fake = datetime.datetime.fromtimestamp(newest + gap, datetime.timezone.utc)

    stored = []
    for path in day_files(folder):
        lines, _ = data_lines(path)
        stored += minutes_of(lines)
    if any(b <= a for a, b in zip(stored, stored[1:])):
        fail("a minute is stored twice or out of order")
    if len(stored) < kills // 2:
        fail(f"only {len(stored)} minutes stored over {kills} runs: the kills hit too little")
    leftovers = [p.name for p in folder.iterdir() if p.name.startswith(".")]
    if closed == 0:
        fail("no run closed the episode left open hours ago")
    print(f"kills: {kills}, minutes stored: {len(stored)}, spoilt lines: {spoilt}, "
          f"episodes closed: {closed} of {kills // 2}, unfinished replacements left: {len(leftovers)}")


def stderr_lines(work, text):
    path = work / "err"
    return [line for line in path.read_text(errors="replace").splitlines() if text in line] if path.exists() else []


def counting(work):
    """The `aroundNow` of the last line `run` printed."""
    lines = (work / "out").read_text(errors="replace").split("\n")[:-1]  # complete lines only
    return json.loads(lines[-1])["aroundNow"] if lines else 0


def check_writes_resume(work, name, blocked, unblock, user=None):
    """Runs until saving fails, checks the state, unblocks, and checks it all came back."""
    for leftover in ("out", "err"):
        (work / leftover).unlink(missing_ok=True)
    folder = work / "history"
    process = start(folder, "+0 x30", home=work, **blocked, user=user)
    try:
        if not wait_for(lambda: stderr_lines(work, "history not saved")):
            fail(f"{name}: never said that history is not saved")
            return
        time.sleep(3)  # some minutes more while writing fails
        if counting(work) <= 0:
            fail(f"{name}: stopped counting while history could not be written")
        for path in day_files(folder):
            lines, partial = data_lines(path)
            if partial or any(not LINE.match(line) for line in lines):
                fail(f"{name}: {path.name} holds a partial line while writing fails")
        unblock(process)
        if not wait_for(lambda: stderr_lines(work, "history saved again")):
            fail(f"{name}: never said that history is saved again")
        time.sleep(1)
    finally:
        kill(process, signal.SIGTERM)
    said = stderr_lines(work, "history not saved")
    if len(said) != 1:
        fail(f"{name}: said {len(said)} times that history is not saved")
    stored = []
    for path in day_files(folder):
        lines, partial = data_lines(path)
        if partial or any(not LINE.match(line) for line in lines):
            fail(f"{name}: {path.name} holds a partial line")
        stored += minutes_of(lines)
    gaps = [b - a for a, b in zip(stored, stored[1:]) if b - a != 60]
    if gaps:
        fail(f"{name}: minutes missing or repeated after writing resumed: steps {gaps}")
    print(f"{name}: {said[0] if said else '-'}; {len(stored)} minutes stored in order")


def full_disk(work):
    folder = work / "history"
    folder.mkdir()
    check_writes_resume(
        work, "full disk", {"limit": 100},
        lambda process: subprocess.run(["prlimit", f"--pid={program(process)}", "--fsize=unlimited"], check=True))


def read_only(work):
    folder = work / "history"
    folder.mkdir()
    # Root writes anywhere, so the program runs as nobody when the test runs as root.
    user = 65534 if os.geteuid() == 0 else None
    if user is not None:
        os.chmod(work, 0o755)
        shutil.chown(folder, user, user)

    def shut_once_started():  # writable until a day file exists, then read-only
        wait_for(lambda: day_files(folder), 20)
        for path in day_files(folder):
            os.chmod(path, 0o444)
        os.chmod(folder, 0o555)

    def make_writable(_process):
        os.chmod(folder, 0o755)
        for path in day_files(folder):
            os.chmod(path, 0o644)

    threading.Thread(target=shut_once_started, daemon=True).start()
    check_writes_resume(work, "read-only folder", {}, make_writable, user=user)


def main():
    for check in (kill_and_restart, full_disk, read_only):
        work = Path(tempfile.mkdtemp())
        try:
            check(work)
        finally:
            for path in work.rglob("*"):
                if path.is_dir():
                    os.chmod(path, 0o755)
            shutil.rmtree(work, ignore_errors=True)
    if failures:
        print(f"{len(failures)} failures")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
