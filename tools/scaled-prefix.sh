#!/bin/sh
# A Wine prefix whose user has set another text scale, for the demo and the
# tests of the wizard at that scale: scaled-prefix.sh PREFIX DPI. Made once
# and kept; Wine's programs take the scale from the registry when they start.
set -eu
prefix=$1
dpi=$2
tests=$(cd "$(dirname "$0")/../tests" && pwd)
export WINEPREFIX="$prefix"
[ -f "$prefix/vt-logpixels-$dpi" ] && exit 0
for key in 'HKCU\Control Panel\Desktop' 'HKCU\Software\Wine\Fonts'; do
    sh "$tests/wine-run.sh" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
done
wineserver -w
touch "$prefix/vt-logpixels-$dpi"
