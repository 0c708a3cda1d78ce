"""What the fault tests share: cleaning up between rounds, the figures they
print, and what /proc tells of the application."""

import os
import signal
import time

from checks import say, wait_for
from peers import backend_processes, ping, switch

# Whatever backend outlives the application is then the application's doing.
switch(WATCH_PARENT=False)


def figure(text):
    """A measured figure, marked so it can be picked out of the output."""
    say(f"  FIGURE {text}")


def clean_slate(t):
    """No backend of this user runs and nothing answers on the port."""
    end()
    t.require(wait_for(lambda: not backend_processes() and ping(0.3) is None, 10, 0.1),
              "no backend is left from the round before", backend_processes())


def end(studio=None):
    """Kills a launch that is still running, and every backend."""
    if studio is not None:
        studio.kill()
    for pid in backend_processes():
        try:
            os.kill(pid, signal.SIGCONT)
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def wait_exit(studio, timeout):
    """Seconds until the application ended, or None; polled every 20 ms."""
    began = time.monotonic()
    while time.monotonic() - began < timeout:
        if not studio.running():
            return time.monotonic() - began
        time.sleep(0.02)
    return None


def descriptor_kinds(pid):
    """What a process's descriptors lead to, counted by kind (socket, pipe,
    anon_inode:[eventfd], a file's folder...)."""
    kinds = {}
    try:
        for entry in os.listdir(f"/proc/{pid}/fd"):
            try:
                target = os.readlink(f"/proc/{pid}/fd/{entry}")
            except OSError:
                continue
            kind = target.split(":", 1)[0] if not target.startswith("/") else \
                os.path.dirname(target)
            if target.startswith("anon_inode:"):
                kind = target
            kinds[kind] = kinds.get(kind, 0) + 1
    except OSError:
        pass
    return dict(sorted(kinds.items()))


def usage(pid):
    """(open descriptors, threads, resident KiB) of a process, or None."""
    try:
        descriptors = len(os.listdir(f"/proc/{pid}/fd"))
        with open(f"/proc/{pid}/status") as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        return descriptors, int(fields["Threads"]), int(fields["VmRSS"].split()[0])
    except (OSError, KeyError, ValueError):
        return None
