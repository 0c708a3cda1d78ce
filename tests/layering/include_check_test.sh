#!/bin/sh
# Shows the include check can fail: each case builds a small source tree,
# runs the check on it and compares its verdict with the expected one.
set -u

here=$(cd "$(dirname "$0")" && pwd)
check="$here/include_check.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
cases=0

# A tree where every layer includes only what it may.
clean_tree() {
  rm -rf "$work/src"
  mkdir -p "$work/src/supervisor" "$work/src/protocol" "$work/src/shell" \
    "$work/src/platform" "$work/src/gtk/extension"
  printf '#include "protocol/Replies.h"\n#include <curl/curl.h>\n' >"$work/src/supervisor/Service.cpp"
  printf '#include <nlohmann/json.hpp>\n' >"$work/src/protocol/Replies.cpp"
  printf '#include "platform/Ui.h"\n#include "protocol/Wire.h"\n' >"$work/src/shell/AppDelegate.cpp"
  printf '#include <functional>\n' >"$work/src/platform/Ui.h"
  printf '#include "platform/Ui.h"\n#include "gtk/GObjectPtr.h"\n#include <gtk/gtk.h>\n' \
    >"$work/src/gtk/GtkUi.cpp"
  printf '#include <webkit2/webkit-web-extension.h>\n' >"$work/src/gtk/extension/Frames.cpp"
  # The process entry sees both sides.
  printf '#include "gtk/GtkUi.h"\n#include "shell/AppDelegate.h"\n#include <glib.h>\n' \
    >"$work/src/main.cpp"
}

# $1: expected exit status, $2: file under src, $3: line added to it
expect() {
  cases=$((cases + 1))
  clean_tree
  if [ -n "$2" ]; then
    mkdir -p "$(dirname "$work/src/$2")"
    printf '%s\n' "$3" >>"$work/src/$2"
  fi
  output=$("$check" "$work/src" 2>&1)
  status=$?
  if [ "$status" -ne "$1" ]; then
    echo "FAIL: '$3' in $2: exit $status, expected $1"
    echo "$output"
    failures=$((failures + 1))
  elif [ "$1" -ne 0 ] && ! echo "$output" | grep -q "$2:"; then
    echo "FAIL: '$3' in $2: the report does not name the file"
    echo "$output"
    failures=$((failures + 1))
  fi
}

expect 0 "" ""
expect 0 shell/Quiet.cpp '// #include <gtk/gtk.h> is what we never do'
expect 0 shell/Text.cpp '#include "shell/gtkish.h"'
expect 1 supervisor/Service.cpp '#include <glib.h>'
expect 1 supervisor/Spawn.cpp '#include <gio/gio.h>'
expect 1 protocol/Replies.cpp '#include <glib-object.h>'
expect 1 protocol/Http.cpp '#include <libsoup/soup.h>'
expect 1 shell/AppDelegate.cpp '#include <gtk/gtk.h>'
expect 1 shell/AppDelegate.cpp '  #  include "gtk/GtkUi.h"'
expect 1 shell/deeper/Policy.h '#include <gdk/gdk.h>'
expect 1 shell/WebPolicy.cpp '#include <jsc/jsc.h>'
expect 1 shell/AppDelegate.h '#include "supervisor/Service.h"'
expect 1 platform/Ui.h '#include <webkit2/webkit2.h>'
expect 1 platform/Queues.h '#include <glib-unix.h>'
expect 1 gtk/GtkUi.cpp '#include "shell/AppDelegate.h"'
expect 1 gtk/WebView.h '#include "supervisor/Service.h"'
expect 1 gtk/Alerts.cpp '#include "protocol/Replies.h"'
expect 1 gtk/extension/Frames.cpp '#include "shell/ScriptBridge.h"'

# A folder that does not exist is an error, not a pass.
cases=$((cases + 1))
"$check" "$work/missing" >/dev/null 2>&1
if [ $? -ne 2 ]; then
  echo "FAIL: a missing source folder was not reported"
  failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
  echo "include_check_test: $failures of $cases cases failed"
  exit 1
fi
echo "include_check_test: $cases cases as expected"
