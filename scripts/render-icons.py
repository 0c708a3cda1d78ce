#!/usr/bin/python3
"""Renders the application's icon (resources/desktop/<id>.svg) to the PNG
sizes of the hicolor theme beside it. Run after changing the SVG; the PNGs
are kept in the repository, so that neither building nor running the
application needs the SVG renderer."""

import os
import sys

import gi

gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf  # noqa: E402

APP_ID = "studio.tarvo.TarvoStudio"
SIZES = (16, 24, 32, 48, 64, 128, 256)

desktop = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "resources", "desktop")
source = os.path.join(desktop, f"{APP_ID}.svg")
for size in SIZES:
    folder = os.path.join(desktop, "icons", "hicolor", f"{size}x{size}", "apps")
    os.makedirs(folder, exist_ok=True)
    picture = GdkPixbuf.Pixbuf.new_from_file_at_size(source, size, size)
    picture.savev(os.path.join(folder, f"{APP_ID}.png"), "png", ["compression"], ["9"])
    print(f"{size}x{size}", file=sys.stderr)
