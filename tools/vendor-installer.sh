#!/bin/sh
# Builds the shipped 32-bit installer around a vendor's own manifest, signed
# with a throw-away certificate, the way tools/packer/README.md shows it,
# checks the result statically, and builds the unsigned installer with the
# demo product's payload again.
#
#   tools/vendor-installer.sh [build-folder]
#
# The vendor's product: the demo program and uninstaller (all an installer
# needs), one language module and a sample in a folder with a non-ASCII name;
# no DirectX files, so that step will be skipped.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
make=${MAKE:-make}
product=$build/i686/demo
work=$build/vendor
rm -rf "$work"
mkdir -p "$work"
certificate=$work/certificate
sh "$top/tools/test-certificate.sh" "$certificate"
# The vendor's PKCS#12 file, with a password.
sign="SIGN_CERT=$certificate/vendor.p12 SIGN_PASSWORD_FILE=$certificate/password"

restore() { cd "$top" && $make -s i686 CMAKE_ARGS=-DVT_PAYLOAD_ARCHIVE= >/dev/null; }
trap restore EXIT
cd "$top"
# The signed uninstaller, which the manifest packs.
$make -s i686 $sign >/dev/null

cat > "$work/manifest.txt" <<EOF
# kind          | destination folder      | source file
program         | <InstallPath>           | $product/Tablewright.exe
uninstaller     | <InstallPath>           | $product/Uninstall.exe
language_module | <InstallPath>\\Lang      | $product/Lang/TablewrightDEU.dll
sample          | <SamplePath>\\Chaises    | $top/tools/packer/sample/files/Café chair.twp
EOF
"$build/host/vt-pack" pack "$work/manifest.txt" "$work/payload.bz2" >/dev/null
$make -s i686 $sign CMAKE_ARGS="-DVT_PAYLOAD_ARCHIVE=$work/payload.bz2" >/dev/null
cp "$build/i686/Tablewright8Setup.exe" "$work/Tablewright8Setup.exe"
check() { sh "$top/tools/check-pe32.sh" --signed-by "$certificate/cert.pem" "$1" "$work/payload.bz2" "$build/host/vt-pack"; }
check "$work/Tablewright8Setup.exe"

# One byte of the DOS stub's text flipped, which nothing but the signature
# covers: that check, and only that one, fails.
cp "$work/Tablewright8Setup.exe" "$work/flipped.exe"
at=$(grep -a -b -o -m 1 'This program cannot' "$work/flipped.exe" | cut -d: -f1)
printf 'X' | dd of="$work/flipped.exe" bs=1 seek="$at" conv=notrunc 2>/dev/null
check "$work/flipped.exe" > "$work/flipped.log" || true
failures=$(grep '^FAILED' "$work/flipped.log" || true)
if [ "$(echo "$failures" | grep -c .)" = 1 ] && echo "$failures" | grep -q '^FAILED installer signature verifies'; then
    echo "ok     one flipped byte fails the installer's signature, and only that"
else
    echo "FAILED one flipped byte: expected only the installer's signature to fail, got: ${failures:-nothing}"
    exit 1
fi
