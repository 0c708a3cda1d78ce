"""The data folder and the install token kept in it.

The token is the only secret of an install: the desktop app reads it from
``ui.token`` and puts it in the page's address and in the X-Studio-Token
header. So the file is written atomically (a reader never sees half a
token) and never readable by anyone but the owner.
"""

import os
import re
import secrets
import stat

TOKEN_FILE = "ui.token"

# secrets.token_urlsafe(32) gives 43 characters; anything much shorter was
# not written by us and is too weak to accept.
_TOKEN_SHAPE = re.compile(r"[A-Za-z0-9_-]{32,512}")


class HomeError(Exception):
    """The data folder or the token file cannot be prepared."""


def prepare_home(path):
    """Create the data folder (and its parents) private to the user."""
    try:
        if not os.path.isdir(path):
            os.makedirs(path, mode=0o700, exist_ok=True)
            # The umask may have cleared bits but never adds any; still, make
            # the mode exact whatever the umask was.
            os.chmod(path, 0o700)
    except OSError as err:
        raise HomeError(f"cannot create the data folder {path}: {err.strerror}") from err
    if not os.path.isdir(path):
        raise HomeError(f"the data folder {path} is not a folder")


def read_token(home):
    """The token in the data folder, or None when there is no sound one.

    Sound means: a regular file (not a link) owned by us, readable by nobody
    else, holding only URL-safe characters of a sensible length. Whitespace
    around it is ignored, as the app trims it too.
    """
    path = os.path.join(home, TOKEN_FILE)
    try:
        fd = os.open(path, os.O_RDONLY | getattr(os, "O_NOFOLLOW", 0))
    except OSError:
        return None
    try:
        info = os.fstat(fd)
        if not stat.S_ISREG(info.st_mode) or info.st_uid != os.geteuid():
            return None
        if info.st_mode & 0o077:
            return None
        data = os.read(fd, 1024)
    except OSError:
        return None
    finally:
        os.close(fd)
    try:
        text = data.decode("ascii").strip()
    except UnicodeDecodeError:
        return None
    return text if _TOKEN_SHAPE.fullmatch(text) else None


def write_token(home, token):
    """Replace the token file atomically: private temp file, fsync, rename."""
    final = os.path.join(home, TOKEN_FILE)
    temp = os.path.join(home, f".{TOKEN_FILE}.{os.getpid()}.{secrets.token_hex(4)}")
    fd = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_NOFOLLOW", 0), 0o600)
    try:
        try:
            os.fchmod(fd, 0o600)
            data = token.encode("ascii")
            while data:
                data = data[os.write(fd, data):]
            os.fsync(fd)
        finally:
            os.close(fd)
        os.replace(temp, final)
    except BaseException:
        try:
            os.unlink(temp)
        except OSError:
            pass
        raise
    _sync_folder(home)


def new_token(home):
    """Write a fresh token for this run of the service, replacing any other:
    a token that leaked stops working with the service that made it."""
    token = secrets.token_urlsafe(32)
    try:
        write_token(home, token)
    except OSError as err:
        raise HomeError(f"cannot write the token file in {home}: {err.strerror}") from err
    return token


def _sync_folder(path):
    # Makes the rename itself durable; not every system lets a folder be
    # opened for that, and the token is already complete either way.
    try:
        fd = os.open(path, os.O_RDONLY)
    except OSError:
        return
    try:
        os.fsync(fd)
    except OSError:
        pass
    finally:
        os.close(fd)
