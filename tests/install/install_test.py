#!/usr/bin/python3
"""Installs Tarvo Studio into a temporary DESTDIR and checks the result.

The layout (the bundle under lib/tarvo-studio, the launcher a relative link
that resolves, the desktop files, no bytecode), the desktop entry and the
metainfo by their validators, and then the installed application started the
way a desktop starts it: from its desktop entry, found by its id in the data
folders, with the install's bin folder on the PATH. It must show its window
and the backend's page, and run the backend from the installed resources.

Run as root (a throwaway user is made for the application). Exit status 0
passed, 1 failed, 77 when it cannot run here (not root, or a tool missing).
"""

import argparse
import configparser
import filecmp
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree

# The helpers beside this file, imported without leaving bytecode in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import layout  # noqa: E402
from session import (Session, command_line, link_of, say, sweep_stale_users,  # noqa: E402
                     take_port_lock, wait_for)

SKIP = 77
TOOLS = ("desktop-file-validate", "appstreamcli", "Xvfb", "dbus-daemon", "gtk-launch", "xdotool",
         "useradd", "userdel")
# Bytecode planted in the build's bundle: the install must leave it out.
PROBES = ("Resources/tarvo-studio/app/__pycache__/install_probe.cpython-311.pyc",
          "Resources/tarvo-studio/install_probe.pyc")


def install(cmake, build, component, stage):
    env = dict(os.environ, DESTDIR=stage)
    done = subprocess.run([cmake, "--install", build, "--prefix", "/usr", "--component", component],
                          env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120,
                          check=False)
    return done.returncode, done.stdout.decode(errors="replace")


def installed_paths(prefix):
    files, complaints = [], []
    for root, dirs, names in os.walk(prefix):
        for name in dirs:
            path = os.path.join(root, name)
            if os.path.islink(path):
                files.append(os.path.relpath(path, prefix))
            elif os.stat(path).st_mode & 0o777 != 0o755:
                complaints.append(f"folder mode {oct(os.stat(path).st_mode & 0o777)}: {path}")
        for name in names:
            path = os.path.join(root, name)
            files.append(os.path.relpath(path, prefix))
            if not os.path.islink(path) and os.stat(path).st_mode & 0o444 != 0o444:
                complaints.append(f"not readable by everyone: {path}")
    return sorted(files), complaints


def check_layout(prefix, bundle):
    files, complaints = installed_paths(prefix)
    complaints += layout.compare(layout.expected_files(bundle), files)
    for path in files:
        if layout.is_bytecode(path):
            complaints.append(f"bytecode installed: {path}")
    for path in layout.bundle_resources(bundle):
        installed = os.path.join(prefix, path)
        source = os.path.join(bundle, os.path.relpath(path, layout.BUNDLE))
        if os.path.isfile(installed) and not filecmp.cmp(source, installed, shallow=False):
            complaints.append(f"differs from the bundle: {path}")

    launcher = os.path.join(prefix, layout.LAUNCHER)
    executable = os.path.join(prefix, layout.EXECUTABLE)
    if not os.path.islink(launcher):
        complaints.append(f"the launcher is not a symbolic link: {launcher}")
    elif link_of(launcher) != layout.LAUNCHER_TARGET:
        complaints.append(f"the launcher points at {link_of(launcher)!r}, "
                          f"not {layout.LAUNCHER_TARGET!r}")
    elif os.path.realpath(launcher) != os.path.realpath(executable):
        complaints.append("the launcher does not resolve to the installed executable")
    if not os.path.isfile(executable) or os.stat(executable).st_mode & 0o777 != 0o755:
        complaints.append(f"the executable is missing or not mode 755: {executable}")
    else:
        with open(executable, "rb") as f:
            if f.read(4) != b"\x7fELF":
                complaints.append(f"not an executable program: {executable}")
    return complaints


def check_desktop_entry(prefix):
    path = os.path.join(prefix, layout.DESKTOP_ENTRY)
    if not os.path.isfile(path):
        return [f"no desktop entry at {path}"]
    complaints = []
    done = subprocess.run(["desktop-file-validate", path], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=30, check=False)
    if done.returncode != 0:
        complaints.append("desktop-file-validate: " + done.stdout.decode(errors="replace"))
    entry = configparser.RawConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(path, encoding="utf-8")
    group = entry["Desktop Entry"] if entry.has_section("Desktop Entry") else {}
    wanted = {"Type": "Application", "Name": "Tarvo Studio", "Exec": "tarvo-studio",
              "Icon": layout.APP_ID, "StartupWMClass": layout.APP_ID, "Terminal": "false"}
    for key, value in wanted.items():
        if group.get(key) != value:
            complaints.append(f"desktop entry {key}={group.get(key)!r}, expected {value!r}")
    if not group.get("Categories", "").strip(";"):
        complaints.append("desktop entry has no Categories")
    return complaints


def check_metainfo(prefix, version, homepage):
    path = os.path.join(prefix, layout.METAINFO)
    if not os.path.isfile(path):
        return [f"no metainfo at {path}"]
    complaints = []
    done = subprocess.run(["appstreamcli", "validate", "--no-net", path], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=60, check=False)
    if done.returncode != 0:
        complaints.append("appstreamcli validate: " + done.stdout.decode(errors="replace"))
    try:
        component = ElementTree.parse(path).getroot()
    except ElementTree.ParseError as error:
        return complaints + [f"metainfo is not XML: {error}"]
    found = {
        "type": component.get("type"),
        "id": component.findtext("id"),
        "name": component.findtext("name"),
        "launchable": component.findtext("launchable[@type='desktop-id']"),
        "binary": component.findtext("provides/binary"),
        "homepage": component.findtext("url[@type='homepage']"),
        "developer": component.findtext("developer/name"),
        "release": component.find("releases/release").get("version")
        if component.find("releases/release") is not None else None,
    }
    wanted = {"type": "desktop-application", "id": layout.APP_ID, "name": "Tarvo Studio",
              "launchable": f"{layout.APP_ID}.desktop", "binary": "tarvo-studio",
              "homepage": homepage, "developer": "Tarvo Studio developers", "release": version}
    for key, value in wanted.items():
        if found[key] != value:
            complaints.append(f"metainfo {key} is {found[key]!r}, expected {value!r}")
    release = component.find("releases/release")
    if release is None or not re.fullmatch(r"\d{4}-\d\d-\d\d", release.get("date") or ""):
        complaints.append("metainfo: the newest release has no date")
    return complaints


def check_icon(prefix):
    path = os.path.join(prefix, layout.ICON)
    try:
        if ElementTree.parse(path).getroot().tag != "{http://www.w3.org/2000/svg}svg":
            return [f"the icon is not an SVG image: {path}"]
    except (OSError, ElementTree.ParseError) as error:
        return [f"the icon cannot be read: {error}"]
    import gi
    gi.require_version("GdkPixbuf", "2.0")
    from gi.repository import GLib, GdkPixbuf
    try:
        image = GdkPixbuf.Pixbuf.new_from_file_at_size(path, 48, 48)
    except GLib.Error as error:
        return [f"the icon does not render: {error}"]
    return [] if image.get_width() == 48 else ["the icon does not render at 48 pixels"]


def tail(path, lines=40):
    try:
        with open(path, errors="replace") as f:
            return "".join(f.readlines()[-lines:])
    except OSError:
        return "(none)"


def launch(prefix, root):
    """Starts the installed application from its desktop entry; complaints."""
    executable = os.path.realpath(os.path.join(prefix, layout.EXECUTABLE))
    resources = os.path.realpath(os.path.join(prefix, layout.RESOURCES, "tarvo-studio"))
    complaints = []
    with Session(root) as session:
        log = os.path.join(session.home, ".local", "state", "Tarvo Studio.log")
        output_path = os.path.join(root, "launch.out")

        def processes():
            apps, backends = [], []
            for pid in session.pids():
                if link_of(f"/proc/{pid}/exe") == executable:
                    apps.append(pid)
                elif command_line(pid)[1:4] == ["-m", "app", "serve"]:
                    backends.append(pid)
            return apps, backends

        def page_ready():
            try:
                with open(log, errors="replace") as f:
                    return any(line.rstrip().endswith(" page ready") for line in f)
            except OSError:
                return False

        env = {"PATH": f"{prefix}/bin:/usr/local/bin:/usr/bin:/bin",
               "XDG_DATA_DIRS": f"{prefix}/share:/usr/local/share:/usr/share"}
        with open(output_path, "wb") as output:
            launcher = session.spawn(["gtk-launch", layout.APP_ID], output=output, env=env)
        try:
            status = launcher.wait(timeout=60)
        except subprocess.TimeoutExpired:
            status = "no exit within 60 s"
        if status != 0:
            complaints.append(f"gtk-launch {layout.APP_ID} failed ({status}): "
                              + tail(output_path))
            return complaints

        started = time.monotonic()
        seen = []

        def ready_or_gone():
            apps, _ = processes()
            seen.extend(apps)
            gone = not apps and (seen or time.monotonic() - started > 20)
            return page_ready() or gone

        wait_for(ready_or_gone, 150, step=0.5)
        if not page_ready():
            apps, _ = processes()
            state = "running" if apps else "not running"
            complaints.append(f"no \"page ready\" in the backend's log within "
                              f"{time.monotonic() - started:.0f} s (the application is {state})\n"
                              f"--- application output:\n{tail(output_path)}"
                              f"--- backend log:\n{tail(log)}")
            return complaints
        say(f"page ready {time.monotonic() - started:.1f} s after the launch")

        apps, backends = processes()
        if len(apps) != 1:
            complaints.append(f"expected one running application, found {len(apps)}")
        if len(backends) != 1:
            complaints.append(f"expected one backend, found {len(backends)}")
        for pid in backends:
            if os.path.realpath(f"/proc/{pid}/cwd") != resources:
                complaints.append(f"the backend runs in {os.path.realpath(f'/proc/{pid}/cwd')}, "
                                  f"not in the installed {resources}")
        status, found = session.run(["xdotool", "search", "--onlyvisible", "--classname",
                                     "^" + re.escape(layout.APP_ID) + "$"])
        if status != 0 or not found.split():
            complaints.append("no visible window whose class is the desktop entry's "
                              f"StartupWMClass {layout.APP_ID}")
        for path, _, names in os.walk(prefix):
            for name in names + [os.path.basename(path)]:
                if layout.is_bytecode(name):
                    complaints.append(f"bytecode written into the install: {path}/{name}")

        # A desktop session ends its applications with the terminate signal.
        for pid in apps:
            os.kill(pid, signal.SIGTERM)
        if not wait_for(lambda: processes() == ([], []), 30):
            apps, backends = processes()
            complaints.append(f"still running 30 s after the terminate signal: "
                              f"application {apps}, backend {backends}")
    return complaints


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--bundle", required=True)
    parser.add_argument("--component", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--homepage", required=True)
    args = parser.parse_args()

    if os.geteuid() != 0:
        say("SKIPPED: the installed application runs under a throwaway user, which needs root")
        return SKIP
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if missing:
        say(f"SKIPPED: missing {', '.join(missing)} (scripts/install-deps.sh installs them)")
        return SKIP
    sweep_stale_users()
    lock = take_port_lock(600)
    if lock is None:
        say("FAILED: another test held the port lock for 600 s")
        return 1
    root = tempfile.mkdtemp(prefix="tarvo-install-")
    os.chmod(root, 0o755)
    planted = []
    try:
        for probe in PROBES:
            path = os.path.join(args.bundle, probe)
            if not os.path.exists(path):
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(b"not really bytecode")
                planted.append(path)

        stage = os.path.join(root, "stage")
        status, output = install(args.cmake, args.build, args.component, stage)
        if status != 0:
            say(f"FAILED: the install ended with {status}:\n{output}")
            return 1
        prefix = os.path.join(stage, "usr")
        complaints = (check_layout(prefix, args.bundle) + check_desktop_entry(prefix)
                      + check_metainfo(prefix, args.version, args.homepage) + check_icon(prefix))
        if not complaints:
            say(f"layout, desktop entry, metainfo and icon are right under {stage}")
            try:
                complaints = launch(prefix, root)
            except (OSError, subprocess.SubprocessError) as error:
                complaints = [f"could not set up the session: {error}"]
        for complaint in complaints:
            say(f"FAILED: {complaint}")
        return 1 if complaints else 0
    finally:
        for path in planted:
            os.remove(path)
            try:
                os.rmdir(os.path.dirname(path))
            except OSError:
                pass
        if os.environ.get("TARVO_INSTALL_KEEP"):
            say(f"kept {root}")
        else:
            shutil.rmtree(root, ignore_errors=True)
        os.close(lock)


if __name__ == "__main__":
    sys.exit(main())
