"""What the command-line tests that run `quillmote-cli run` under libfaketime share."""
import os
import time
from pathlib import Path


def stop(process, how):
    """Signals the process's whole session (faketime and the program it waits on)."""
    try:
        os.killpg(process.pid, how)
    except ProcessLookupError:
        pass
    process.wait(timeout=10)
    # faketime shares its clock through a semaphore and memory named after its process,
    # which a SIGKILL leaves behind; a later process given the same id would fail to start.
    for name in (f"sem.faketime_sem_{process.pid}", f"faketime_shm_{process.pid}"):
        Path("/dev/shm", name).unlink(missing_ok=True)


def wait_for(condition, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return condition()
