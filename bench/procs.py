# What the benchmark reads of running processes: the tree under a process,
# its proportional memory and CPU time, and when each member started.
import os
import signal
import time

TICK = os.sysconf("SC_CLK_TCK")


def stat_fields(pid):
    """The fields of /proc/PID/stat after the command name, or None when gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            text = f.read()
    except OSError:
        return None
    return text[text.rindex(")") + 2 :].split()


def parents():
    found = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            fields = stat_fields(int(name))
            if fields:
                found[int(name)] = int(fields[1])
    return found


def tree(root):
    """root and every live descendant of it."""
    children = {}
    for pid, ppid in parents().items():
        children.setdefault(ppid, []).append(pid)
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        if os.path.exists(f"/proc/{pid}"):
            found.append(pid)
            todo.extend(children.get(pid, []))
    return found


def memory_kib(pid):
    """(PSS, PSS without files) in KiB. The second leaves out mapped files
    (libraries, fonts), whose share depends on how many other processes on
    the machine map them too; what is left (heap, stacks, JavaScript, shared
    memory) does not."""
    pss = files = 0
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    pss = int(line.split()[1])
                elif line.startswith("Pss_File:"):
                    files = int(line.split()[1])
    except OSError:
        pass
    return pss, pss - files


def web_processes():
    """Every WebKit web process on the machine, whoever started it."""
    return [int(e) for e in os.listdir("/proc")
            if e.isdigit() and name(int(e)).startswith("WebKitWebProces") and alive(int(e))]


def cpu_seconds(pid):
    """User and system time of the process and of its children it has reaped."""
    fields = stat_fields(pid)
    if not fields:
        return 0.0
    return sum(int(fields[i]) for i in (11, 12, 13, 14)) / TICK


def start_ticks(pid):
    fields = stat_fields(pid)
    return int(fields[19]) if fields else None


def command(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [part.decode(errors="replace") for part in f.read().split(b"\0") if part]
    except OSError:
        return []


def name(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return "?"


def owned_by(uid):
    pids = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if os.stat(f"/proc/{entry}").st_uid == uid:
                    pids.append(int(entry))
            except OSError:
                pass
    return pids


def end(pids, grace=3.0):
    """SIGTERM, then SIGKILL what is left after the grace period."""
    pids = [pid for pid in pids if pid != os.getpid()]
    for pid in pids:
        try:
            os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline and any(alive(pid) for pid in pids):
        time.sleep(0.02)
    for pid in pids:
        if alive(pid):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass


def alive(pid):
    fields = stat_fields(pid)
    return fields is not None and fields[0] != "Z"
