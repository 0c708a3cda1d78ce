"""Running the service: settings from the environment, the data folder and
token, the listening socket, and the ways the process ends."""

import os
import select
import signal
import socket
import sys
import threading

from . import NAME, __version__, log
from .home import HomeError, new_token, prepare_home
from .watch import ParentWatch, parent_pid
from .web import StudioServer
from .work import Work

# How often the parent is looked for; the service ends at most about this
# long after the app is gone.
WATCH_INTERVAL = 1.0


def serve(port):
    """Serve until SIGTERM, SIGINT or the parent's end; return the exit status."""
    stops = _catch_stop_signals()

    home = os.environ.get("TARVO_STUDIO_HOME", "").strip()
    if not home:
        return _fail("TARVO_STUDIO_HOME is not set; it must name the data folder. Not starting.", 2)
    home = os.path.abspath(home)

    watch = None
    pid, problem = parent_pid(os.environ.get("TARVO_STUDIO_PARENT"))
    if problem:
        print(f"{NAME}: {problem}", file=sys.stderr, flush=True)
    if pid is not None:
        watch = ParentWatch(pid)
        reason = watch.gone()
        if reason:
            return _fail(f"{reason}; not starting", 0)

    try:
        prepare_home(home)
    except HomeError as err:
        return _fail(str(err), 1)

    # Take the port before touching the token: a second copy that cannot
    # listen must leave the running copy's install alone.
    try:
        handed = handed_socket()
        server = StudioServer(port, home, Work(), handed)
    except OSError as err:
        return _fail(f"cannot listen on 127.0.0.1:{port}: {err.strerror}", 1)

    try:
        new_token(home)
    except HomeError as err:
        server.server_close()
        return _fail(str(err), 1)

    thread = threading.Thread(target=server.serve_forever, name="http", daemon=True)
    thread.start()
    how = "on the socket it was handed" if handed else "on a socket of its own"
    log.line(f"{NAME} {__version__} serving http://127.0.0.1:{port}/ {how} (pid {os.getpid()})")

    why = stops.wait(watch)
    log.line(f"stopping: {why}")
    log.summarise(force=True)
    server.shutdown()
    server.server_close()
    thread.join(timeout=2)
    return 0


def handed_socket():
    """The listening socket the application hands over as descriptor 3, with
    LISTEN_FDS=1 and LISTEN_PID our own pid, as service managers hand sockets
    on; None when there is none (run by hand), and then the port is bound
    here. The variables are removed, so that nothing this process starts
    takes the socket for its own, and the socket is not inherited."""
    count = os.environ.pop("LISTEN_FDS", None)
    pid = os.environ.pop("LISTEN_PID", None)
    os.environ.pop("LISTEN_FDNAMES", None)
    if count != "1" or pid != str(os.getpid()):
        return None
    handed = socket.socket(fileno=3)
    handed.set_inheritable(False)
    return handed


def _fail(message, status):
    print(f"{NAME}: {message}", file=sys.stderr, flush=True)
    return status


class _Stops:
    """SIGTERM and SIGINT end the service cleanly. The handlers only note the
    signal; the wake-up socket makes the waiting main loop see it at once,
    without taking any lock inside a signal handler."""

    def __init__(self):
        self.signals = []
        self._wake, self._waker = socket.socketpair()
        self._wake.setblocking(False)
        self._waker.setblocking(False)
        signal.set_wakeup_fd(self._waker.fileno())

    def note(self, signum, _frame):
        self.signals.append(signal.Signals(signum).name)

    def wait(self, watch):
        """Block until a stop signal came or the watched parent is gone."""
        while not self.signals:
            select.select([self._wake], [], [], WATCH_INTERVAL)
            try:
                while self._wake.recv(64):
                    pass
            except OSError:
                pass
            reason = watch.gone() if watch and not self.signals else None
            if reason:
                return reason
        return self.signals[0]


def _catch_stop_signals():
    stops = _Stops()
    signal.signal(signal.SIGTERM, stops.note)
    signal.signal(signal.SIGINT, stops.note)
    return stops
