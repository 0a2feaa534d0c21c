#!/bin/sh
# Benchmarks (make bench; never part of the tests).
#  - Payload benchmark: writes a deterministic payload of about 56 MB that
#    compresses about 3:1, packs it with vt-pack, and runs
#    tests/bench_payload.cpp on it under Wine in the build's prefix.
#  - Installation benchmark: this installer against an NSIS installer of the
#    same files and against the floor of its own work, on a payload shaped
#    like the installer's own (80 files, about 52 MB), in a Wine prefix of its
#    own (tests/bench_install.cpp).
# Usage: sh tools/bench.sh BUILD_DIR (default build/x64). BENCH=payload or
# BENCH=install runs one of them; BENCH_RUNS sets the runs (default 3);
# BENCH_HOST names the native build with vt-pack (default: the build's).
set -eu
build=${1:-build/x64}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
host=${BENCH_HOST:-$(sed -n 's/^VT_HOST_BUILD_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")}
[ -n "$host" ] || host=$root/build/host
host=$(cd "$host" && pwd)
bench=${BENCH:-all}
run="$root/tests/wine-run.sh"

if [ "$bench" = all ] || [ "$bench" = payload ]; then

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
archive=$("$run" winepath -w "$data/payload.bz2" | tr -d '\r')
"$run" "$build/tests/bench_payload.exe" "$archive" 'C:\vt-bench-payload' "${BENCH_RUNS:-3}"
fi

if [ "$bench" = all ] || [ "$bench" = install ]; then
# The demo product's payload, which the installer embeds (demo/CMakeLists.txt;
# its files lie in a staging folder, for NSIS). A build that cannot make it
# gets one of the same shape from vt-bench-data instead: 80 entries, about
# 52 MB that compress about 3:1.
if cmake --build "$build" --target vt_demo_payload >/dev/null 2>&1 && [ -f "$build/demo/demo-payload.bz2" ]; then
    data=$build/bench-install
    mkdir -p "$data"
    payload=$build/demo/demo-payload.bz2
    sources=$build/demo/demo-payload
else
    cmake --build "$host" --target vt-pack vt-bench-data >/dev/null
    data=$build/bench-install
    payload=$data/payload.bz2
    sources=$data/files
    if [ ! -f "$payload" ] || [ "$host/vt-bench-data" -nt "$payload" ]; then
        rm -rf "$data"
        echo "Writing the installation benchmark's payload"
        "$host/vt-bench-data" "$data/files" 50
        "$host/vt-pack" pack "$data/files/manifest.txt" "$data/payload.bz2.partial"
        mv "$data/payload.bz2.partial" "$payload"
    fi
fi
cmake -S "$root" -B "$build" -DVT_BENCH_PAYLOAD="$payload" >/dev/null
cmake --build "$build" --target bench_install >/dev/null

echo "Installation benchmark"
echo "machine: $(nproc) processors, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1)," \
    "$(free -g | awk '/^Mem:/ {print $2}') GB, load average $(cut -d ' ' -f 1-3 /proc/loadavg);" \
    "$(wine --version 2>/dev/null || echo wine); $(makensis -VERSION 2>/dev/null | sed 's/^/NSIS /')"
export WINEPREFIX="$build/bench-prefix" WINEDEBUG=-all
# One virtual display for the wizard; the prefix's server stops with it.
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    set -eu
    run=$1 exe=$2 data=$3 runs=$4 sources=$5
    "$run" "$exe" nsi "Z:$data/bench.nsi" "Z:$data/paths.txt" "$sources"
    (cd "$data" && makensis -V1 bench.nsi >/dev/null)
    "$run" "$exe" run "$runs" "Z:$data/nsis-bench.exe" "Z:$data/paths.txt"
    wineserver -k 2>/dev/null || true
' bench "$run" "$build/tests/bench_install.exe" "$data" "${BENCH_RUNS:-3}" "$sources" 2>&1 | grep -v '^X connection'
fi
