#!/bin/sh
# Keeps the layers apart: the core (supervisor, protocol), the shell and the
# platform seam never include a toolkit header, and the toolkit layer (gtk)
# never includes the shell or the core. The shell sees the wire (protocol)
# and the seam, never the supervisor. The keeper of the backend, a program
# of its own, shares the supervisor's process and log code and nothing else.
# Only the process entry (main.cpp and the adapter beside it) sees every side.
#
# Usage: include_check.sh SOURCE_FOLDER
# Prints every offending include as file:line: text, and exits 1 if any.
set -u

src=${1:?usage: include_check.sh SOURCE_FOLDER}
if [ ! -d "$src" ]; then
  echo "include_check: no folder $src" >&2
  exit 2
fi

# Headers of GTK, GDK, GLib/GIO/GObject, WebKitGTK, JavaScriptCore, libsoup
# and the libraries GTK brings along; also the toolkit layer's own "gtk/...".
toolkit='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](gtk|gdk|gdk-pixbuf|gdkx|glib|gio|gobject|gmodule|webkit2|webkit|webkitgtk|jsc|javascriptcore|libsoup|pango|cairo|atk|harfbuzz)[-./]'
core='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](shell|supervisor|protocol)/'
supervisor='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]supervisor/'
notForKeeper='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](shell|protocol|platform)/'

found=0

# $1: folder under $src, $2: pattern, $3: what is wrong
check() {
  [ -d "$src/$1" ] || return 0
  hits=$(grep -rnE --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' \
    "$2" "$src/$1") || return 0
  echo "$hits" | while IFS= read -r hit; do
    echo "$hit  <- $3"
  done
  found=1
}

for layer in supervisor protocol shell platform keeper; do
  check "$layer" "$toolkit" "$layer/ must not include a toolkit header"
done
check gtk "$core" "gtk/ must not include the shell or the core"
check shell "$supervisor" "shell/ must not include the supervisor"
check keeper "$notForKeeper" "keeper/ must not include the shell, the wire or the seam"

if [ "$found" -ne 0 ]; then
  echo "include_check: layering broken (see above)" >&2
  exit 1
fi
echo "include_check: $src keeps its layers apart"
