#!/bin/sh
# Runs a 32-bit Windows program of the i686 build under Wine, as
# tests/wine-run.sh runs the x86_64 ones and with the same prefix set-up, but
# inside the 32-bit root (tools/i686-enter.sh): a 64-bit prefix, whose Wine
# starts 32-bit programs through Debian's 32-bit loader, run by qemu-i386.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
# Run by hand, without a display, it makes a virtual one as make test does.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$0" "$@"
fi
# A crash would otherwise wait for ever in Wine's debugger, whatever load
# order the test asks for besides.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d};winedbg.exe=d"
exec sh "$top/tools/i686-enter.sh" sh "$top/tests/wine-run.sh" "$@"
