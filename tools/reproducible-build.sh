#!/bin/sh
# Builds the shipped 32-bit installer twice, each time from its own copy of
# the sources in a clean folder of another name, signed with one throw-away
# certificate and no time-stamping server, and compares the two: the same
# sources and payload must give the same bytes. Then links the first again
# with a SOURCE_DATE_EPOCH, whose time the checks find in the installer.
#
#   tools/reproducible-build.sh [build-folder]
#
# Works in build-folder/reproducible, removed when the two are identical;
# the dependencies are copied from build-folder/deps (tools/setup-host.sh).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
make=${MAKE:-make}
work=$build/reproducible
rm -rf "$work"
mkdir -p "$work"
sh "$top/tools/test-certificate.sh" "$work/certificate"
sign="SIGN_CERT=$work/certificate/cert.pem SIGN_KEY=$work/certificate/key.pem"

# Only the tools that the Windows build runs, not the native tests.
build_copy() {
    copy=$work/$1
    started=$(date +%s)
    mkdir -p "$copy/build"
    (cd "$top" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$copy"
    cp -a "$build/deps" "$copy/build/deps"
    if ! (cd "$copy" && $make -s i686 I686_TESTS=OFF JOBS="${JOBS:-2}" HOST_TARGETS="vt_art vt-demo-payload" $sign) \
            > "$copy.log" 2>&1; then
        tail -n 20 "$copy.log"
        echo "FAILED the build in $copy (log: $copy.log)"
        exit 1
    fi
    echo "built $copy in $(($(date +%s) - started)) s"
}
build_copy first
build_copy second-folder
first=$work/first/build/i686
second=$work/second-folder/build/i686

same=yes
for file in Tablewright8Setup.exe demo/Uninstall.exe demo/Tablewright.exe demo/demo-payload.bz2; do
    cmp -s "$first/$file" "$second/$file" && continue
    same=no
    echo "differs: $file, first at $(cmp "$first/$file" "$second/$file" | sed 's/.*: //')"
done
sha256sum "$first/Tablewright8Setup.exe" "$second/Tablewright8Setup.exe"
if [ $same = no ]; then
    echo "FAILED the two builds differ (kept in $work)"
    exit 1
fi
echo "ok     two clean builds give the same signed installer"

# A given time goes into the PE header and the signature.
started=$(date +%s)
(cd "$work/first" && SOURCE_DATE_EPOCH=1700000000 $make -s i686 I686_TESTS=OFF HOST_TARGETS="vt_art vt-demo-payload" $sign) \
    > "$work/first.log" 2>&1
echo "linked again with SOURCE_DATE_EPOCH in $(($(date +%s) - started)) s"
SOURCE_DATE_EPOCH=1700000000 sh "$top/tools/check-pe32.sh" --signed-by "$work/certificate/cert.pem" \
    "$first/Tablewright8Setup.exe" "$first/demo/demo-payload.bz2" "$build/host/vt-pack"
rm -rf "$work"
