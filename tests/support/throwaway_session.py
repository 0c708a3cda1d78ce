"""What the window tests and the install tests share to run the application
as a throwaway user: the port lock, the user's processes, the user itself,
the users a killed run left behind, and the user's display.

The application takes its home from the user database, not from $HOME, so
each run makes a user of its own with a fresh home. Each suite names its
users with a prefix of its own followed by the pid of the run, so that a
suite sweeps only the users of its own killed runs.
"""

import fcntl
import grp
import os
import pwd
import random
import shutil
import socket
import signal
import stat
import subprocess
import tempfile
import time

PORT_LOCK = "/tmp/tarvo-studio-port-7810.lock"
# Where every user's X server makes its socket.
X11_SOCKETS = "/tmp/.X11-unix"


def take_port_lock(deadline_seconds):
    """Holds the lock that every user of 127.0.0.1:7810 takes, or None."""
    fd = os.open(PORT_LOCK, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o666)
    deadline = time.monotonic() + deadline_seconds
    while True:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return fd
        except BlockingIOError:
            if time.monotonic() > deadline:
                os.close(fd)
                return None
            time.sleep(0.2)


def pids_of_uid(uid):
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if os.stat(f"/proc/{entry}").st_uid != uid:
                continue
            with open(f"/proc/{entry}/stat") as f:
                if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                    continue  # already dead, waiting for its parent
            pids.append(int(entry))
        except (OSError, IndexError):
            pass
    return pids


def kill_uid(uid, deadline_seconds=10.0):
    """Ends every process of the throwaway user, one pid at a time."""
    deadline = time.monotonic() + deadline_seconds
    while time.monotonic() < deadline:
        pids = pids_of_uid(uid)
        if not pids:
            return True
        for pid in pids:
            try:
                os.kill(pid, signal.SIGCONT)  # a stopped process must be able to die
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.1)
    return not pids_of_uid(uid)


def running_uids():
    uids = set()
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                uids.add(os.stat(f"/proc/{entry}").st_uid)
            except OSError:
                pass
    return uids


def unused_uid(low=20000, high=59999):
    """A uid in [low, high] that no account or group has and no process runs
    under, or None. A run in another root on the same machine (a chroot
    sharing /proc) makes its users from a user database of its own, so the
    next free uid would often be the same there, and each run would take the
    other's processes for its own and end them."""
    taken = {entry.pw_uid for entry in pwd.getpwall()}
    taken |= {entry.gr_gid for entry in grp.getgrall()}
    taken |= running_uids()
    free = [uid for uid in range(low, high + 1) if uid not in taken]
    return random.SystemRandom().choice(free) if free else None


def add_user(name, home, shell):
    """Makes the user, with a group of its own and a fresh home; its entry."""
    uid = unused_uid()
    if uid is None:
        raise OSError("no unused uid for a throwaway user")
    subprocess.run(["useradd", "--uid", str(uid), "--create-home", "--home-dir", home, "--shell",
                    shell, "--user-group", name], check=True, timeout=30,
                   stdout=subprocess.DEVNULL)
    return pwd.getpwnam(name)


def remove_user(name):
    try:
        uid = pwd.getpwnam(name).pw_uid
    except KeyError:
        return
    kill_uid(uid)
    subprocess.run(["userdel", name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=30, check=False)
    try:
        grp.getgrnam(name)
        subprocess.run(["groupdel", name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=30, check=False)
    except KeyError:
        pass


def sweep_stale_users(user_prefix, folder_prefix, owner_running, say):
    """Removes the users named user_prefix + pid whose run is no longer
    owner_running(pid), and the temporary folder (made with folder_prefix)
    that holds such a user's home."""
    for entry in pwd.getpwall():
        if not entry.pw_name.startswith(user_prefix):
            continue
        owner = entry.pw_name[len(user_prefix):]
        if owner.isdigit() and owner_running(int(owner)):
            continue
        say(f"removing the stale user {entry.pw_name}")
        remove_user(entry.pw_name)
        if entry.pw_dir.startswith(os.path.join(tempfile.gettempdir(), folder_prefix)):
            shutil.rmtree(os.path.dirname(entry.pw_dir), ignore_errors=True)


def prepare_socket_folder(path=X11_SOCKETS):
    """Makes path what an X server run by any user needs: a folder owned by
    root, mode 1777, whatever state it was in. Returns None, or what is wrong.

    A mode given to mkdir passes through the umask, and a folder left by
    someone else may have any owner and mode, so both are set explicitly, on
    the folder opened without following links."""
    for _ in range(3):
        try:
            os.mkdir(path, 0o700)
        except FileExistsError:
            pass
        try:
            fd = os.open(path, os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW | os.O_CLOEXEC)
        except FileNotFoundError:
            continue  # removed meanwhile
        except OSError:
            # Not a folder (a file, or a link that could point anywhere): make way.
            try:
                os.unlink(path)
            except FileNotFoundError:
                pass
            except OSError as error:
                return f"{path} is not a folder and cannot be removed: {error}"
            continue
        try:
            info = os.fstat(fd)
            if (info.st_uid, info.st_gid) != (0, 0):
                os.fchown(fd, 0, 0)
            if stat.S_IMODE(info.st_mode) != 0o1777:
                os.fchmod(fd, 0o1777)
            return None
        except OSError as error:
            return f"cannot make {path} root's with mode 1777: {error}"
        finally:
            os.close(fd)
    return f"{path} kept changing while it was being set up"


def start_display(account, env):
    """Starts Xvfb as the user; returns (its process, its display name or
    None when it did not say which display it took)."""
    trouble = prepare_socket_folder()
    if trouble is not None:
        raise OSError(trouble)
    read_end, write_end = os.pipe()
    try:
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1400x1000x24", "-nolisten",
             "tcp", "-noreset"],
            pass_fds=(write_end,), user=account.pw_uid, group=account.pw_gid, extra_groups=[],
            env=env, cwd=account.pw_dir, start_new_session=True, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
    except BaseException:
        os.close(read_end)
        raise
    finally:
        os.close(write_end)
    deadline = time.monotonic() + 20
    text = b""
    os.set_blocking(read_end, False)
    while time.monotonic() < deadline and not text.endswith(b"\n"):
        try:
            chunk = os.read(read_end, 64)
            if chunk == b"":
                break
            text += chunk
        except BlockingIOError:
            time.sleep(0.05)
    os.close(read_end)
    if not text.strip().isdigit():
        return xvfb, None
    return xvfb, ":" + text.strip().decode()


def start_wayland(account, env, runtime, log, size):
    """Starts a headless weston of `size` (width, height) as the user;
    returns (its process, the name of its socket in the runtime folder, or
    None when it never listened)."""
    socket_name = "wayland-tarvo"
    weston = subprocess.Popen(
        ["weston", "--backend=headless-backend.so", f"--socket={socket_name}",
         f"--width={size[0]}", f"--height={size[1]}", "--no-config", "--idle-time=0",
         f"--log={log}"],
        user=account.pw_uid, group=account.pw_gid, extra_groups=[], env=env,
        cwd=account.pw_dir, start_new_session=True, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL)
    path = os.path.join(runtime, socket_name)

    def listening():
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            return s.connect_ex(path) == 0

    deadline = time.monotonic() + 20
    while weston.poll() is None and time.monotonic() < deadline:
        if os.path.exists(path) and listening():
            return weston, socket_name
        time.sleep(0.05)
    return weston, None
