#!/usr/bin/env bash
# Times Service::start() with the reference backend against the bare backend
# (exec until its ping answers), over interleaved rounds in one run.
#
#   bench/start_to_ready.sh [--build DIR] [--rounds N]
#
# The Service and the bare backend get a throwaway home, so no real data
# folder, log or cache is touched. The port lock shared with the tests is held
# for the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
rounds=10
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--rounds N]" >&2; exit 2 ;;
  esac
done

binary=${START_TO_READY:-$build/bench/start_to_ready}
if [ -z "${START_TO_READY:-}" ]; then
  cmake --build "$build" --target start_to_ready tarvo_backend >/dev/null
fi
[ -x "$binary" ] || { echo "no $binary: is bench/ part of the build?" >&2; exit 1; }

home=$(mktemp -d /tmp/tarvo-bench-home.XXXXXX)
trap 'rm -rf "$home"' EXIT

echo "waiting for the port lock..." >&2
exec 9>/tmp/tarvo-studio-port-7810.lock
flock -w 900 9 || { echo "the port lock stayed taken" >&2; exit 1; }

"$binary" --home "$home" --resources "$build/bundle/Resources" --rounds "$rounds"
