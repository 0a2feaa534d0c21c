#!/bin/sh
# Payload benchmark (make bench; never part of the tests): writes a
# deterministic payload of about 56 MB that compresses about 3:1, packs it
# with vt-pack, and runs tests/bench_payload.cpp on it under Wine in the
# build's prefix. Usage: sh tools/bench.sh BUILD_DIR (default build/x64).
set -eu
build=${1:-build/x64}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
host=$(sed -n 's/^VT_HOST_BUILD_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$host" ] || host=$root/build/host

cmake --build "$host" --target vt-pack vt-bench-data >/dev/null
cmake --build "$build" --target bench_payload >/dev/null

data=$build/bench-payload
if [ ! -f "$data/payload.bz2" ] || [ "$host/vt-bench-data" -nt "$data/payload.bz2" ]; then
    rm -rf "$data"
    echo "Writing the benchmark payload"
    "$host/vt-bench-data" "$data/files" 56
    "$host/vt-pack" pack "$data/files/manifest.txt" "$data/payload.bz2.partial"
    mv "$data/payload.bz2.partial" "$data/payload.bz2"
fi

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
run="$root/tests/wine-run.sh"
archive=$("$run" winepath -w "$data/payload.bz2" | tr -d '\r')
"$run" "$build/tests/bench_payload.exe" "$archive" 'C:\vt-bench-payload' "${BENCH_RUNS:-3}"
