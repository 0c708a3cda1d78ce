#!/usr/bin/env bash
# Launch time and memory of Tarvo Studio against a bare WebKitGTK window.
#
#   sudo bench/launch_and_memory.sh [--build DIR] [--rounds N] [--settle S]
#                                   [--env K=V]... [--app-env K=V]...
#                                   [--variant K=V[,K=V...]]... [--bare-arg ARG]...
#                                   [--bare-only] [--timeline] [--lock-timeout S]
#
# Over several interleaved rounds (application, bare, application, bare...),
# after one warm-up round that is not counted, it measures:
#   - the application: exec of bin/tarvo-studio until its backend logs
#     "page ready" (the page's GET /api/hello after DOMContentLoaded), and the
#     proportional memory (PSS) of its whole process tree 1.5 s later;
#   - the bare pair: a standard-library Python server serving a copy of the
#     backend's page (exec until it answers), then bench/bare_window.c showing
#     it (exec until the same GET /api/hello), and their PSS measured the same way;
#   - the reference backend alone: exec until it answers /api/ping.
# See bench/README.md for what each figure means and how it is taken.
#
# Needs root: the application and the bare window run as a throwaway user
# whose home is a temporary folder, so no real user's data, log or window
# frame is touched. Everything it starts is ended, and the user removed,
# before it exits, also on Ctrl+C.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
python=/usr/bin/python3

if [ "$(id -u)" -ne 0 ]; then
  echo "launch_and_memory.sh: run as root (it creates a throwaway user for the application)" >&2
  exit 2
fi
for tool in cc pkg-config useradd userdel "$python"; do
  command -v "$tool" >/dev/null || { echo "launch_and_memory.sh: needs $tool" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tarvo-bench.XXXXXX)
chmod 0755 "$work"
cleanup_work() { rm -rf "$work"; }
trap cleanup_work EXIT

# The baseline window, built here so the benchmark needs nothing from the build.
cc -O2 -o "$work/bare_window" "$here/bare_window.c" \
  $(pkg-config --cflags --libs webkit2gtk-4.1)

"$python" "$here/launch_and_memory.py" --work "$work" --repo "$repo" "$@"
