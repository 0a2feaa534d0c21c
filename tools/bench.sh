#!/bin/sh
# Benchmarks (make bench; never part of the tests).
#  - Payload benchmark: writes a deterministic payload of about 56 MB that
#    compresses about 3:1, packs it with vt-pack, and runs
#    bench/bench_payload.cpp on it under Wine in the build's prefix.
#  - Installation benchmark: this installer against an NSIS installer of the
#    same files and against the floor of its own work, in a Wine prefix of
#    its own (bench/bench_install.cpp), on three payloads, one table each and
#    a scale table of all three at the end: the demo product's (80 files,
#    about 52 MB); the same with 2,000 sample texts of 8 KB; the same with
#    four media files of 128 MB. Each installation of this installer runs
#    twice: Install clicked at once, and after a user's pause of 3 s on the
#    pages while the payload's check runs beside the wizard. The scale table
#    is made at idle, then again beside two busy processes.
# Usage: sh tools/bench.sh BUILD_DIR (default build/x64). BENCH=payload or
# BENCH=install runs one of them; BENCH_RUNS sets the runs (default 3),
# BENCH_LARGE_RUNS those of the 512 MB row (default 1); BENCH_SCALE=0 leaves
# out the two larger rows; BENCH_BUSY lists the numbers of busy processes to
# run the installation benchmark beside (default "0 2"); BENCH_HOST names
# the native build with vt-pack (default: the build's).
set -eu
build=${1:-build/x64}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
host=${BENCH_HOST:-$(sed -n 's/^VT_HOST_BUILD_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")}
[ -n "$host" ] || host=$root/build/host
host=$(cd "$host" && pwd)
bench=${BENCH:-all}
run="$root/tests/wine-run.sh"
server="$root/tools/wine-server.sh"

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
sh "$server" start
archive=$("$run" winepath -w "$data/payload.bz2" | tr -d '\r')
"$run" "$build/bench/bench_payload.exe" "$archive" 'C:\vt-bench-payload' "${BENCH_RUNS:-3}"
sh "$server" stop
fi

if [ "$bench" = all ] || [ "$bench" = install ]; then
cmake --build "$host" --target vt-pack vt-bench-data >/dev/null
scale=$build/bench-scale
mkdir -p "$scale"

# One row of the scale table: the installation benchmark on one payload
# (PAYLOAD.bz2, its files under SOURCES for NSIS), this installer and NSIS
# in the same run. DATA holds the NSIS script and the list of paths.
install_row() {
    name=$1 payload=$2 sources=$3 data=$4 runs=$5
    mkdir -p "$data"
    cmake -S "$root" -B "$build" -DVT_BENCH_PAYLOAD="$payload" >/dev/null
    cmake --build "$build" --target bench_install >/dev/null
    echo
    echo "Installation benchmark: $name"
    echo "machine: $(nproc) processors, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1)," \
        "$(free -g | awk '/^Mem:/ {print $2}') GB, load average $(cut -d ' ' -f 1-3 /proc/loadavg);" \
        "$(wine --version 2>/dev/null || echo wine); $(makensis -VERSION 2>/dev/null | sed 's/^/NSIS /')"
    export WINEPREFIX="$build/bench-prefix" WINEDEBUG=-all
    # One virtual display for the wizard; one server for the prefix's
    # programs, which stops with it.
    xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
        set -eu
        run=$1 server=$2 exe=$3 data=$4 runs=$5 sources=$6
        sh "$server" start
        "$run" "$exe" nsi "Z:$data/bench.nsi" "Z:$data/paths.txt" "$sources"
        (cd "$data" && makensis -V1 bench.nsi >/dev/null)
        "$run" "$exe" run "$runs" "Z:$data/nsis-bench.exe" "Z:$data/paths.txt"
        sh "$server" stop
    ' bench "$run" "$server" "$build/bench/bench_install.exe" "$data" "$runs" "$sources" 2>&1 |
        grep -v '^X connection' | tee "$data/output.txt" | grep -v '^scale row:'
    sed -n "s/^scale row:/$name|/p" "$data/output.txt" | sed "s/\$/ $(cut -d ' ' -f 1 /proc/loadavg)/" \
        >>"$scale/rows.txt"
}

# A payload of the demo product's files and more: the demo staging folder
# (hard links) with the extra files beside it, and its manifest with theirs.
extended_payload() {
    data=$1
    rm -rf "$data/files"
    mkdir -p "$data"
    cp -al "$demo_sources" "$data/files"
    cat "$demo_sources/manifest.txt" >"$data/files/manifest.all"
}

# Every row of the scale table, on the machine as it is.
scale_rows() {
    # The demo product's payload, which the installer embeds (demo/CMakeLists.txt;
    # its files lie in a staging folder, for NSIS). A build that cannot make it
    # gets one of the same shape from vt-bench-data instead: 80 entries, about
    # 52 MB that compress about 3:1; the larger rows need the demo product.
    if cmake --build "$build" --target vt_demo_payload >/dev/null 2>&1 && [ -f "$build/demo/demo-payload.bz2" ]; then
        demo_sources=$build/demo/demo-payload
        install_row "demo, 80 files" "$build/demo/demo-payload.bz2" "$demo_sources" "$build/bench-install" \
            "${BENCH_RUNS:-3}"
    else
        data=$build/bench-install
        payload=$data/payload.bz2
        if [ ! -f "$payload" ] || [ "$host/vt-bench-data" -nt "$payload" ]; then
            rm -rf "$data"
            echo "Writing the installation benchmark's payload"
            "$host/vt-bench-data" "$data/files" 50
            "$host/vt-pack" pack "$data/files/manifest.txt" "$data/payload.bz2.partial"
            mv "$data/payload.bz2.partial" "$payload"
        fi
        demo_sources=
        install_row "vt-bench-data, 80 files" "$payload" "$data/files" "$data" "${BENCH_RUNS:-3}"
    fi

    if [ -n "$demo_sources" ] && [ "${BENCH_SCALE:-1}" != 0 ]; then
        # The demo files and 2,000 sample texts of 8 KB, as a user's own product
        # with many small files would be.
        small=$scale/small
        if [ ! -f "$small/payload.bz2" ] || [ "$demo_sources/manifest.txt" -nt "$small/payload.bz2" ]; then
            echo "Writing the payload of 2,000 small files"
            extended_payload "$small"
            mkdir -p "$small/files/Notes"
            awk -v folder="$small/files/Notes" 'BEGIN {
                srand(8);
                split("table chair leg top drawer panel board edge joint dowel screw glue oak beech pine walnut " \
                      "veneer finish sand cut width depth height angle rail frame shelf door hinge handle", w, " ");
                for (n = 0; n < 2000; ++n) {
                    file = sprintf("%s/note%04d.txt", folder, n);
                    text = "";
                    while (length(text) < 8192)
                        text = text w[int(rand() * 30) + 1] (rand() < 0.1 ? ".\r\n" : " ");
                    printf "%s", substr(text, 1, 8192) > file;
                    close(file);
                    printf "sample | <SamplePath>\\Notes | Notes/note%04d.txt\n", n >> (folder "/../manifest.all");
                }
            }'
            "$host/vt-pack" pack "$small/files/manifest.all" "$small/payload.bz2.partial"
            mv "$small/payload.bz2.partial" "$small/payload.bz2"
        fi
        install_row "2,000 small files" "$small/payload.bz2" "$small/files" "$small" "${BENCH_RUNS:-3}"

        # The demo files and four media files of 128 MB each.
        large=$scale/large
        if [ ! -f "$large/payload.bz2" ] || [ "$demo_sources/manifest.txt" -nt "$large/payload.bz2" ]; then
            echo "Writing the payload of 512 MB in four large files"
            extended_payload "$large"
            "$host/vt-bench-data" "$large/files/Media" 512 large
            sed -n 's#^\([a-z_]* | [^|]* | \)files/#\1Media/files/#p' "$large/files/Media/manifest.txt" \
                >>"$large/files/manifest.all"
            "$host/vt-pack" pack "$large/files/manifest.all" "$large/payload.bz2.partial"
            mv "$large/payload.bz2.partial" "$large/payload.bz2"
        fi
        install_row "4 large files, 512 MB" "$large/payload.bz2" "$large/files" "$large" "${BENCH_LARGE_RUNS:-1}"
    fi
}

# Busy processes beside the benchmark: a user's machine that is doing
# something else meanwhile. They end with the table.
busy_pids=
stop_busy() { [ -z "$busy_pids" ] || kill $busy_pids 2>/dev/null || true; busy_pids=; }
trap stop_busy EXIT INT TERM
for busy in ${BENCH_BUSY:-0 2}; do
    : >"$scale/rows.txt"
    n=0
    while [ "$n" -lt "$busy" ]; do
        sh -c 'while :; do :; done' &
        busy_pids="$busy_pids $!"
        n=$((n + 1))
    done
    scale_rows
    stop_busy
    echo
    echo "Scale table beside $busy busy processes (each row: this installer and NSIS in the same run; medians;"
    echo "paused: Install clicked after 3 s on the pages; load: the 1-minute load average at the row's end)"
    printf '%-24s %6s %8s %8s %8s %6s %8s %6s %9s %9s %8s %8s %8s %8s %8s %8s %5s\n' payload files MB ours_s nsis_s \
        ratio paused_s ratio ours_ms/f nsis_ms/f ours_cpu nsis_cpu peak_MB gap_ms pause_MB pause_ms load
    while IFS='|' read -r name figures; do
        printf '%-24s%s\n' "$name" "$figures"
    done <"$scale/rows.txt"
done
fi
