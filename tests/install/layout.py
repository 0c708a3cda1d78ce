"""What an install of Tarvo Studio lays out, relative to its prefix."""

import os

APP_ID = "studio.tarvo.TarvoStudio"
BUNDLE = "lib/tarvo-studio"
EXECUTABLE = f"{BUNDLE}/bin/tarvo-studio"
KEEPER = f"{BUNDLE}/bin/tarvo-studio-keeper"
EXTENSION = f"{BUNDLE}/lib/web-extensions/tarvo-studio-frames.so"
RESOURCES = f"{BUNDLE}/Resources"
LAUNCHER = "bin/tarvo-studio"
LAUNCHER_TARGET = "../lib/tarvo-studio/bin/tarvo-studio"
DESKTOP_ENTRY = f"share/applications/{APP_ID}.desktop"
ICON = f"share/icons/hicolor/scalable/apps/{APP_ID}.svg"
METAINFO = f"share/metainfo/{APP_ID}.metainfo.xml"
# The PNG sizes beside the scalable icon, which need no SVG renderer.
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
PICTURES = [f"share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png" for n in ICON_SIZES]
TRANSLATIONS = ["share/locale/de/LC_MESSAGES/tarvo-studio.mo"]
DOCUMENTS = ["share/doc/tarvo-studio/copyright", "share/doc/tarvo-studio/changelog.gz",
             "share/man/man1/tarvo-studio.1.gz"]

# Every file (or link) an install holds, apart from the bundle's resources.
FIXED_FILES = [EXECUTABLE, KEEPER, EXTENSION, LAUNCHER, DESKTOP_ENTRY, ICON, METAINFO, *PICTURES,
               *TRANSLATIONS, *DOCUMENTS]


def is_bytecode(path):
    parts = path.split("/")
    return "__pycache__" in parts or path.endswith((".pyc", ".pyo"))


def bundle_resources(bundle_dir):
    """The files of the built bundle's Resources folder, as install paths."""
    found = []
    top = os.path.join(bundle_dir, "Resources")
    for root, dirs, files in os.walk(top):
        dirs[:] = [d for d in dirs if d != "__pycache__"]
        for name in files:
            relative = os.path.relpath(os.path.join(root, name), top)
            if not is_bytecode(relative):
                found.append(f"{RESOURCES}/{relative}")
    return sorted(found)


def expected_files(bundle_dir):
    return sorted(FIXED_FILES + bundle_resources(bundle_dir))


def compare(expected, actual):
    """Complaints about files missing from, or unexpected in, an install."""
    complaints = []
    expected, actual = set(expected), set(actual)
    for path in sorted(expected - actual):
        complaints.append(f"missing: {path}")
    for path in sorted(actual - expected):
        complaints.append(f"not expected: {path}")
    return complaints
