"""The backend's whole family ends with it: a worker it forked, which keeps
the listening socket, and a program that worker started in a session of its
own are gone after a quit, after SIGKILL of the application and after its
display is lost; in each the backend gets SIGTERM, the graceful way, from
its keeper. (Its death and a restart are tested beside the supervisor.)"""

import os
import re
import signal

from checks import wait_for
from faults import clean_slate, figure
from peers import alive, log_text, read_cmdline, stopped_by, switch
from studio import launched, run

switch(FAMILY=True)
GONE_WITHIN = 10.0  # the grace of 5 s, and a loaded machine


def families():
    return re.findall(r"test backend family: worker (\d+), session (\d+)", log_text())


def ends_with_it(t, how, end):
    clean_slate(t)
    known = len(families())  # the log outlives each launch
    studio = launched(t)
    backend = studio.backend()
    t.require(wait_for(lambda: len(families()) > known, 10),
              "the backend's worker and its session program say who they are")
    members = [backend] + [int(pid) for pid in families()[-1]]
    t.require(all(alive(pid) for pid in members), "the backend, its worker and its session "
              "program run", members)
    end(studio)
    gone = wait_for(lambda: not any(alive(pid) for pid in members), GONE_WITHIN, 0.1)
    figure(f"{how}: family of {len(members)} processes, "
           f"{'all gone' if gone else 'left: ' + str([p for p in members if alive(p)])}, "
           f"the backend stopped by {stopped_by(backend)}")
    t.expect(gone, f"{how}: the backend, its worker and its session program are gone",
             [pid for pid in members if alive(pid)])
    t.expect(stopped_by(backend) == "SIGTERM", f"{how}: the backend got SIGTERM",
             stopped_by(backend))
    t.expect(wait_for(lambda: not studio.running(), GONE_WITHIN, 0.1), "the application ended")


def quit(t):
    ends_with_it(t, "Quit", lambda studio: studio.ask_to_quit())


def killed(t):
    ends_with_it(t, "SIGKILL to the application", lambda studio: os.kill(studio.pid, signal.SIGKILL))


def display_lost(t):
    """Last: the display server of this session is gone for good."""
    servers = [int(pid) for pid in os.listdir("/proc") if pid.isdigit()
               and os.stat(f"/proc/{pid}").st_uid == os.getuid()
               and os.path.basename((read_cmdline(int(pid)) or [""])[0]) in ("Xvfb", "weston")]
    t.require(len(servers) == 1, "this session's display server is found", servers)
    ends_with_it(t, "the display server killed", lambda _: os.kill(servers[0], signal.SIGKILL))


if __name__ == "__main__":
    run(quit, killed, display_lost)
