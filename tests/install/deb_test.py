#!/usr/bin/python3
"""Builds the Debian package with CPack and inspects it with dpkg-deb and lintian.

Its name, version and architecture, its dependencies (the GTK, WebKitGTK and
libcurl runtime packages found by dpkg-shlibdeps, libcurl at the version the
build needs, and python3), and its file list: everything under /usr, owned
by root, the bundle, the launcher link, the desktop files, the translations,
the copyright, changelog and manual page, no bytecode; and lintian finds no
error and no warning in it. The package is never installed here.

Exit status 0 passed, 1 failed, 77 when a tool it needs is missing.
"""

import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

# The helpers beside this file, imported without leaving bytecode in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import layout  # noqa: E402

SKIP = 77

# Each alternative is a package name as Depends gives it; the t64 names are
# those of Debian 13 and later.
REQUIRED = [("libgtk-3-0", "libgtk-3-0t64"), ("libwebkit2gtk-4.1-0",),
            ("libcurl4", "libcurl4t64"), ("python3",), ("bubblewrap",), ("xdg-dbus-proxy",)]


def say(text):
    print(f"[deb] {text}", flush=True)


def run(argv, timeout=60):
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=timeout, check=False)
    return done.returncode, done.stdout.decode(errors="replace")


def parse_depends(text):
    """{package name: [its version constraints, '' for none]} from a Depends field
    (a package may be named more than once)."""
    found = {}
    for clause in text.split(","):
        for alternative in clause.split("|"):
            match = re.fullmatch(r"\s*([a-z0-9][a-z0-9+.-]*)(?::\w+)?\s*(\(([^)]*)\))?\s*",
                                 alternative)
            if match:
                found.setdefault(match.group(1), []).append((match.group(3) or "").strip())
    return found


def at_least(constraints, minimum):
    """Whether one of the constraints asks for minimum or later."""
    for constraint in constraints:
        match = re.fullmatch(r">=\s*(\S+)", constraint)
        if match and subprocess.run(["dpkg", "--compare-versions", match.group(1), "ge", minimum],
                                    check=False, timeout=30).returncode == 0:
            return True
    return False


def check_fields(deb, version, architecture, curl_minimum):
    complaints = []
    fields = {}
    for name in ("Package", "Version", "Architecture", "Maintainer", "Section", "Description",
                 "Depends"):
        status, text = run(["dpkg-deb", "--field", deb, name])
        fields[name] = text.strip() if status == 0 else ""
    wanted = {"Package": "tarvo-studio", "Version": version, "Architecture": architecture}
    for name, value in wanted.items():
        if fields[name] != value:
            complaints.append(f"{name} is {fields[name]!r}, expected {value!r}")
    for name in ("Maintainer", "Section", "Description"):
        if not fields[name]:
            complaints.append(f"no {name} field")
    depends = parse_depends(fields["Depends"])
    for alternatives in REQUIRED:
        if not any(name in depends for name in alternatives):
            complaints.append(f"Depends lacks {' or '.join(alternatives)}: {fields['Depends']}")
    if ">= 3.10" not in depends.get("python3", []):
        complaints.append(f"Depends has python3 {depends.get('python3')}, not (>= 3.10)")
    curl = [constraint for name in REQUIRED[2] for constraint in depends.get(name, [])]
    if not at_least(curl, curl_minimum):
        complaints.append(f"Depends does not ask for libcurl {curl_minimum} or later: "
                          f"{fields['Depends']}")
    for name, constraints in depends.items():
        if len(constraints) > 1:
            complaints.append(f"Depends names {name} {len(constraints)} times: {fields['Depends']}")
    say(f"Depends: {fields['Depends']}")
    return complaints


def check_lintian(deb):
    """lintian's errors and warnings; an override in the package would need its reason."""
    status, text = run(["lintian", "--fail-on", "error,warning", deb], timeout=300)
    tags = [line for line in text.splitlines() if line[:2] in ("E:", "W:")]
    if status != 0 or tags:
        return [f"lintian: {line}" for line in tags] or [f"lintian ended with {status}: {text}"]
    say("lintian: no error, no warning")
    return []


def parse_listing(text):
    """{path: (mode, owner, link target)} from dpkg-deb --contents."""
    entries = {}
    for line in text.splitlines():
        fields = line.split(None, 5)
        if len(fields) < 6:
            continue
        mode, owner, name = fields[0], fields[1], fields[5]
        target = None
        if mode.startswith("l") and " -> " in name:
            name, target = name.split(" -> ", 1)
        entries[name.rstrip("/")] = (mode, owner, target)
    return entries


def check_contents(deb, bundle):
    status, text = run(["dpkg-deb", "--contents", deb])
    if status != 0:
        return [f"dpkg-deb --contents failed: {text}"]
    entries = parse_listing(text)
    complaints = []
    files = []
    for path, (mode, owner, target) in entries.items():
        if owner != "root/root":
            complaints.append(f"owned by {owner}: {path}")
        if path != "./usr" and not path.startswith("./usr/"):
            complaints.append(f"outside /usr: {path}")
            continue
        relative = path[len("./usr/"):]
        if layout.is_bytecode(relative):
            complaints.append(f"bytecode packed: {path}")
        if not mode.startswith("d"):
            files.append(relative)
    complaints += layout.compare(layout.expected_files(bundle), files)
    launcher = entries.get(f"./usr/{layout.LAUNCHER}")
    if launcher is None or launcher[2] != layout.LAUNCHER_TARGET:
        complaints.append(f"the launcher is not a link to {layout.LAUNCHER_TARGET}: {launcher}")
    executable = entries.get(f"./usr/{layout.EXECUTABLE}")
    if executable is None or executable[0] != "-rwxr-xr-x":
        complaints.append(f"the executable is missing or not mode 755: {executable}")
    return complaints


def check_components(build, component):
    """The package carries one install component: a rule left in another
    (one without COMPONENT lands in "Unspecified") would be missing from it."""
    found = set()
    for root, _, names in os.walk(build):
        if "cmake_install.cmake" in names:
            with open(os.path.join(root, "cmake_install.cmake"), errors="replace") as f:
                found.update(re.findall(r'CMAKE_INSTALL_COMPONENT STREQUAL "([^"]*)"', f.read()))
    if found != {component}:
        return [f"install rules are in the components {sorted(found)}; the package holds only "
                f"{component!r}"]
    return []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--bundle", required=True)
    parser.add_argument("--component", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--curl-minimum", required=True,
                        help="the oldest libcurl the build can run with")
    args = parser.parse_args()

    for tool in ("dpkg-deb", "dpkg-shlibdeps", "dpkg", "lintian"):
        if shutil.which(tool) is None:
            say(f"SKIPPED: {tool} is missing (scripts/install-deps.sh installs dpkg-dev and "
                "lintian)")
            return SKIP
    status, architecture = run(["dpkg", "--print-architecture"])
    architecture = architecture.strip()
    root = tempfile.mkdtemp(prefix="tarvo-deb-")
    try:
        status, output = run([args.cpack, "-G", "DEB", "--config",
                              os.path.join(args.build, "CPackConfig.cmake"), "-B", root],
                             timeout=500)
        packages = glob.glob(os.path.join(root, "*.deb"))
        if status != 0 or len(packages) != 1:
            say(f"FAILED: cpack ended with {status} and made {len(packages)} packages:\n{output}")
            return 1
        deb = packages[0]
        wanted = f"tarvo-studio_{args.version}_{architecture}.deb"
        complaints = []
        if os.path.basename(deb) != wanted:
            complaints.append(f"the package is named {os.path.basename(deb)}, not {wanted}")
        complaints += check_fields(deb, args.version, architecture, args.curl_minimum)
        complaints += check_contents(deb, args.bundle)
        complaints += check_components(args.build, args.component)
        complaints += check_lintian(deb)
        for complaint in complaints:
            say(f"FAILED: {complaint}")
        if not complaints:
            say(f"{wanted} is right ({os.path.getsize(deb)} bytes)")
        return 1 if complaints else 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
