# One launch of the application under strace, told as a timeline: when each
# program was started, each connection to the port and the display, and when
# the page was ready. Only process starts, connections and exits are traced
# (seccomp filtered), so the launch is only a little slower than untraced.
import os
import re
import shutil
import signal
import subprocess
import time

import procs

LINE = re.compile(r"^(\d+)\s+(\d+\.\d+)\s+(.*)$")
EXECVE = re.compile(r'execve\("([^"]+)", \[(.*?)\](?:, 0x[0-9a-f]+ /\* \d+ vars \*/)?\) = (-?\d+)')
CONNECT = re.compile(r"connect\(\d+, \{(.*?)\}, \d+\) = (-?\d+)( \w+)?")
EXIT = re.compile(r"\+\+\+ exited with (\d+) \+\+\+|\+\+\+ killed by (\w+)")


def available():
    return shutil.which("strace") is not None


def command(user, trace_file, argv):
    return ["strace", "-f", "--seccomp-bpf", "-q", "-ttt", "-s", "120", "-u", user,
            "-e", "trace=execve,connect", "-e", "signal=none", "-o", trace_file, *argv]


def describe_args(args):
    parts = re.findall(r'"((?:[^"\\]|\\.)*)"', args)
    text = " ".join(parts[1:])
    return text if len(text) <= 70 else text[:67] + "..."


def events(trace_file, ready_wall, port):
    """(seconds after the application's exec, pid, text), in order."""
    found = []
    start = None
    first_display = set()
    programs = set()  # pids that ran a program of their own, not threads
    with open(trace_file, errors="replace") as f:
        for raw in f:
            match = LINE.match(raw.strip())
            if not match:
                continue
            pid, stamp, rest = int(match[1]), float(match[2]), match[3]
            if (m := EXECVE.search(rest)) and m[3] == "0":
                if start is None:
                    start = stamp
                programs.add(pid)
                found.append((stamp, pid, f"exec {os.path.basename(m[1])} {describe_args(m[2])}"))
            elif m := CONNECT.search(rest):
                address, result, error = m[1], m[2], (m[3] or "").strip()
                if f"htons({port})" in address:
                    outcome = "connected" if result == "0" else (error or result)
                    found.append((stamp, pid, f"connect 127.0.0.1:{port}: {outcome}"))
                elif "X11-unix" in address and pid not in first_display:
                    first_display.add(pid)
                    found.append((stamp, pid, "connect to the display"))
            elif (m := EXIT.search(rest)) and pid in programs and (ready_wall is None or stamp < ready_wall):
                found.append((stamp, pid, f"exit {m[1] or m[2]}"))
    if start is None:
        return []
    if ready_wall is not None:
        found.append((ready_wall, 0, "backend logs \"page ready\" (GET /api/hello)"))
    found.sort()
    return [(stamp - start, pid, text) for stamp, pid, text in found]


def print_timeline(rows):
    print("Timeline of one traced launch of the application (s after its exec; pid; event)")
    for offset, pid, text in rows:
        print(f"  {offset:8.3f}  {pid or '':>7}  {text}")


def wait_ready(log, offset, timeout, poll=0.002):
    """Wall-clock time at which "page ready" appeared in the log, or None."""
    deadline = time.monotonic() + timeout
    seen = b""
    while time.monotonic() < deadline:
        try:
            with open(log, "rb") as f:
                f.seek(offset)
                seen += f.read()
                offset = f.tell()
        except OSError:
            pass
        if b"page ready" in seen:
            return time.time()
        time.sleep(poll)
    return None


def run(bench, log, size_of):
    """Launch the application once under strace and print what happened when."""
    trace_file = os.path.join(bench.work, "launch.strace")
    offset = size_of(log)
    argv = command(bench.user.pw_name, trace_file, [bench.app])
    with open(os.path.join(bench.work, "app.out"), "ab") as out:
        tracer = subprocess.Popen(argv, env=bench.app_env(), cwd=bench.home, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=out, start_new_session=True)
    members = []
    try:
        ready = wait_ready(log, offset, 30.0)
        time.sleep(bench.args.settle)
        members = procs.tree(tracer.pid)
        # Quit the application itself, not the tracer, so it ends as it would untraced.
        for pid in members:
            if pid != tracer.pid and procs.stat_fields(pid) and int(procs.stat_fields(pid)[1]) == tracer.pid:
                os.kill(pid, signal.SIGTERM)
        try:
            tracer.wait(bench.args.quit_timeout)
        except subprocess.TimeoutExpired:
            pass
    finally:
        bench.finish(tracer, members)
    print_timeline(events(trace_file, ready, 7810))
