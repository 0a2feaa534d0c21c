#!/bin/sh
# Builds the shipped 32-bit installer around a vendor's own manifest, the way
# tools/packer/README.md shows it, checks the result statically, and builds
# the installer with the demo product's payload again.
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

cat > "$work/manifest.txt" <<EOF
# kind          | destination folder      | source file
program         | <InstallPath>           | $product/Tablewright.exe
uninstaller     | <InstallPath>           | $product/Uninstall.exe
language_module | <InstallPath>\\Lang      | $product/Lang/TablewrightDEU.dll
sample          | <SamplePath>\\Chaises    | $top/tools/packer/sample/files/Café chair.twp
EOF
"$build/host/vt-pack" pack "$work/manifest.txt" "$work/payload.bz2" >/dev/null

restore() { cd "$top" && $make -s i686 CMAKE_ARGS=-DVT_PAYLOAD_ARCHIVE= >/dev/null; }
trap restore EXIT
cd "$top"
$make -s i686 CMAKE_ARGS="-DVT_PAYLOAD_ARCHIVE=$work/payload.bz2" >/dev/null
cp "$build/i686/Tablewright8Setup.exe" "$work/Tablewright8Setup.exe"
sh "$top/tools/check-pe32.sh" "$work/Tablewright8Setup.exe" "$work/payload.bz2" "$build/host/vt-pack"
