#!/bin/sh
# Static checks of a built 32-bit installer (the tests run it too, in the
# 32-bit root): machine and subsystem, imports, manifest, version, string
# tables and payload.
#
#   tools/check-pe32.sh [--signed-by CERT.pem] INSTALLER.exe PAYLOAD.bz2 [VT-PACK [REFERENCE.bz2 [PROGRAM...]]]
#
# Each PROGRAM (the other elevated programs: the x64 installer, both
# uninstallers) has its imports checked as the installer's are.
# PAYLOAD is the archive the build packed; the installer must carry exactly
# these bytes. With VT-PACK the carried archive is verified entry by entry,
# and with REFERENCE (the payload of the build the tests run) it must hold
# the same entries, kinds and destinations.
#
# With --signed-by CERT.pem (the signing certificate, or its issuers') the
# installer and the uninstaller in its payload (VT-PACK finds it) must carry
# signatures that verify against CERT; without it the installer must be
# unsigned. The time in the PE header and in the signature is
# SOURCE_DATE_EPOCH, or none (0) when that is not set.
set -u
certificate=
if [ "${1:-}" = --signed-by ]; then
    certificate=$2
    shift 2
fi
exe=$1
payload=$2
vt_pack=${3:-}
reference=${4:-}
shift $(($# < 4 ? $# : 4))
objdump=i686-w64-mingw32-objdump
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
check() {
    if [ "$2" = ok ]; then
        passed=$((passed + 1)); echo "ok     $1"
    else
        failed=$((failed + 1)); echo "FAILED $1: $2"
    fi
}
# The bytes of one resource, or nothing.
resource() { wrestool -x --raw --type="$1" --name="$2" "$exe" 2>/dev/null; }

if [ ! -f "$exe" ]; then
    echo "FAILED: no installer at $exe"; echo "pe32: 0 passed, 1 failed"; exit 1
fi
headers=$($objdump -p "$exe" 2>&1)
echo "$headers" | grep -q 'file format pei-i386' && echo "$headers" | grep -q '^Magic.*(PE32)$' \
    && check "32-bit i386 program" ok || check "32-bit i386 program" "$(echo "$headers" | grep 'file format')"
echo "$headers" | grep -q '^Subsystem.*(Windows GUI)' && check "GUI subsystem" ok \
    || check "GUI subsystem" "$(echo "$headers" | grep '^Subsystem')"

# Static imports of an elevated program: Windows' known libraries only, which
# are always mapped from System32, plus comctl32 through the manifest's
# assembly. Any other name is looked for in the program's own folder first
# (a Downloads folder), where anyone can plant it: those are loaded from
# System32 at run time. Nothing of the compiler's runtime either.
known_dlls="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll
    shell32.dll shlwapi.dll user32.dll"
check_imports() {
    found=$(x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null || $objdump -p "$1" 2>&1)
    foreign=""
    echo "$found" | grep -qi 'DLL Name: kernel32.dll' || foreign=" nothing readable"
    for dll in $(echo "$found" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
        echo " $known_dlls " | tr -s ' \n' '  ' | grep -q " $dll " || foreign="$foreign $dll"
    done
    [ -z "$foreign" ] && check "$(basename "$1") imports only known system libraries" ok \
        || check "$(basename "$1") imports only known system libraries" "also imports$foreign"
}
check_imports "$exe"
for program in "$@"; do
    check_imports "$program"
done

resource 24 1 > "$work/manifest.xml"
grep -q 'level="requireAdministrator"' "$work/manifest.xml" \
    && grep -q 'name="Microsoft.Windows.Common-Controls"[^>]*version="6\.' "$work/manifest.xml" \
    && check "manifest asks for elevation and common controls 6" ok \
    || check "manifest asks for elevation and common controls 6" "not in manifest 1"

# VS_FIXEDFILEINFO follows its signature 0xFEEF04BD: structure version, then
# the file version's high and low double words.
resource 16 1 > "$work/version.res"
version=$(od -An -v -tx4 "$work/version.res" | tr -s ' \n' '\n\n' \
    | awk 'found && ++n == 2 { ms = $1 } found && n == 3 { print ms, $1; exit } $1 == "feef04bd" { found = 1 }')
[ "$version" = "0008000b 000e0001" ] && check "file version 8.11.14.1" ok \
    || check "file version 8.11.14.1" "fixed file info holds '$version'"

# Every language carries the same string blocks as the neutral English table.
wrestool -l --type=6 "$exe" 2>/dev/null | sed -n 's/.*--name=\([0-9]*\) --language=\([0-9]*\).*/\2 \1/p' \
    | sort -n > "$work/strings"
languages=$(cut -d' ' -f1 "$work/strings" | sort -u | wc -l)
blocks=$(cut -d' ' -f2 "$work/strings" | sort -u | tr '\n' ' ')
uneven=$(cut -d' ' -f1 "$work/strings" | sort | uniq -c | awk '{print $1}' | sort -u | wc -l)
[ "$languages" -eq 25 ] && [ "$uneven" -eq 1 ] && check "string tables in 25 languages" ok \
    || check "string tables in 25 languages" "$languages languages, blocks $blocks not in every one"

# The payload: resource type 260, id 134, language-neutral, the packed bytes.
language=$(wrestool -l --type=260 --name=134 "$exe" 2>/dev/null | sed -n 's/.*--language=\([0-9]*\).*/\1/p')
[ "$language" = 0 ] && check "payload resource is language-neutral" ok \
    || check "payload resource is language-neutral" "stored as language '$language'"
resource 260 134 > "$work/payload.bz2"
cmp -s "$work/payload.bz2" "$payload" && check "payload is the packed archive byte for byte" ok \
    || check "payload is the packed archive byte for byte" "differs from $payload"
if [ -n "$vt_pack" ]; then
    "$vt_pack" verify "$work/payload.bz2" > "$work/verify" 2>&1 && check "payload verifies" ok \
        || check "payload verifies" "$(tail -n 1 "$work/verify")"
fi
if [ -n "$reference" ]; then
    # Same entries as the tests' payload; only the binaries' bytes may differ.
    layout() { "$vt_pack" list "$1" | sed -E -n 's/^([a-z_]+) +[0-9]+ +[0-9a-f]+ +/\1 /p'; }
    layout "$work/payload.bz2" > "$work/ours"
    layout "$reference" > "$work/theirs"
    cmp -s "$work/ours" "$work/theirs" && check "payload holds the tested entries" ok \
        || check "payload holds the tested entries" "$(diff "$work/ours" "$work/theirs" | head -n 3 | tr '\n' ' ')"
fi

# The time stamp: a double word 8 bytes into the PE header.
stamp() { od -An -v -tu4 --endian=little -j "$1" -N 4 "$exe" | tr -d ' '; }
epoch=${SOURCE_DATE_EPOCH:-0}
[ "$(stamp $(($(stamp 60) + 8)))" = "$epoch" ] && check "PE time stamp is $epoch" ok \
    || check "PE time stamp is $epoch" "holds $(stamp $(($(stamp 60) + 8)))"

# Signatures: the certificate table is data directory entry 4.
signature_of() {
    if osslsigncode verify -CAfile "$certificate" -in "$1" > "$work/signature" 2>&1; then
        check "$2 signature verifies" ok
    else
        check "$2 signature verifies" "$(grep -i -m 1 -e mismatch -e fail -e error -e 'no signature' "$work/signature")"
        return 1
    fi
}
if [ -z "$certificate" ]; then
    echo "$headers" | grep -q 'Entry 4 00000000 00000000' && check "installer is unsigned" ok \
        || check "installer is unsigned" "$(echo "$headers" | grep 'Entry 4 ')"
else
    if signature_of "$exe" installer; then
        signed_at=$(sed -n 's/^[[:space:]]*Signing time: //p' "$work/signature")
        expected=$(LC_ALL=C date -u -d "@$epoch" '+%b %e %H:%M:%S %Y GMT')
        [ "$signed_at" = "$expected" ] && check "signing time is $epoch" ok \
            || check "signing time is $epoch" "signed at '$signed_at'"
    fi
    # The uninstaller's bytes in the decoded archive: they follow the header
    # and the data of every entry before it.
    where=$("$vt_pack" list "$work/payload.bz2" | awk '/^header length/ { offset = $3 + 0 }
        $1 == "uninstaller" { print offset, $2; exit } $2 ~ /^[0-9]+$/ { offset += $2 }')
    if [ -z "$where" ]; then
        check "payload's uninstaller signature verifies" "no uninstaller in the payload"
    else
        bzip2 -dc "$work/payload.bz2" | tail -c +$((${where% *} + 1)) | head -c "${where#* }" > "$work/Uninstall.exe"
        signature_of "$work/Uninstall.exe" "payload's uninstaller"
    fi
fi

echo "pe32 $exe: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
