"""Noticing that the desktop app that started us is gone.

If the app crashes it cannot stop us, and a server left on the port would
make its next launch refuse to start. So the service watches the process
named by TARVO_STUDIO_PARENT and ends when it is gone.
"""

import os


def parent_pid(value):
    """The pid to watch from the variable's text, or None (with the reason)."""
    if value is None or not value.strip():
        return None, None
    try:
        pid = int(value.strip())
    except ValueError:
        return None, f"TARVO_STUDIO_PARENT={value!r} is not a process id; not watching it"
    if pid <= 1:
        return None, f"TARVO_STUDIO_PARENT={pid} cannot be a parent to watch; not watching it"
    return pid, None


class ParentWatch:
    def __init__(self, pid):
        self.pid = pid
        self._ppid = os.getppid()
        self._started = _start_time(pid)

    def gone(self):
        """Why the parent counts as gone, or None while it is there."""
        if os.getppid() != self._ppid:
            return f"our parent process {self._ppid} is gone"
        try:
            os.kill(self.pid, 0)
        except ProcessLookupError:
            return f"process {self.pid} is gone"
        except PermissionError:
            pass  # it exists, under another user
        except OSError:
            pass
        state, started = _proc_stat(self.pid)
        if state == "Z":
            # Dead, only not yet reaped by its own parent.
            return f"process {self.pid} has ended"
        if self._started is not None and started is not None and started != self._started:
            return f"process {self.pid} is gone (its id now names another process)"
        return None


def _start_time(pid):
    return _proc_stat(pid)[1]


def _proc_stat(pid):
    """(state, start time) from /proc where there is one; (None, None) else."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            text = f.read().decode("ascii", "replace")
    except OSError:
        return None, None
    # The command name is in parentheses and may itself hold any character.
    fields = text[text.rfind(")") + 2 :].split()
    if len(fields) < 20:
        return None, None
    return fields[0], fields[19]
