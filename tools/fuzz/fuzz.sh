#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one in turn on its corpus.
#
#   tools/fuzz/fuzz.sh BUILD_DIR [SECONDS [TARGET...]]
#
# SECONDS per target (default 300). The committed seeds in
# tools/fuzz/corpus/NAME are read, never written: what a run adds goes to
# BUILD_DIR/corpus/NAME, a crashing input to BUILD_DIR/crashes. Exits 1 when
# a target found something, 77 (a skipped test for ctest) when clang or its
# libFuzzer runtime (Debian's libclang-rt-14-dev) is not installed.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
build=${1:?usage: fuzz.sh BUILD_DIR [SECONDS [TARGET...]]}
seconds=${2:-300}
[ $# -ge 2 ] && shift 2 || shift $#
targets=${*:-archive_header uninstall_log txtf_codec bzip2_decoder}

mkdir -p "$build"
build=$(cd "$build" && pwd)

# clang alone is not enough: the fuzzer and sanitizer runtimes come in a
# package of their own.
probe="$build/probe"
if ! command -v clang++ >/dev/null 2>&1 ||
    ! printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' |
        clang++ -x c++ -fsanitize=fuzzer,address,undefined -o "$probe" - >/dev/null 2>&1; then
    echo "fuzzing skipped: clang++ with libFuzzer is not installed (Debian: clang libclang-rt-14-dev)"
    exit 77
fi
rm -f "$probe"

cmake -S "$source_dir" -B "$build" -DVT_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j 2 $(printf ' --target fuzz_%s' $targets) >"$build/build.log" 2>&1 || {
    cat "$build/build.log"
    exit 1
}

status=0
for name in $targets; do
    mkdir -p "$build/crashes" "$build/logs" "$build/corpus/$name"
    log="$build/logs/$name.log"
    # One target at a time: the machine's cores are shared. A run that waits
    # 30 s is a hang, not a loaded machine (the decoder's threads may wait
    # their turn for seconds there).
    if "$build/fuzz_$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$name-" "$build/corpus/$name" "$here/corpus/$name" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz_$name: ${seconds}s, ${runs:-?} runs, no failure"
    else
        status=1
        echo "fuzz_$name FAILED (log: $log, inputs: $build/crashes):"
        grep -E 'ERROR|SUMMARY|property broken|runtime error|Test unit written' "$log" | head -20
    fi
done
exit $status
