#!/bin/sh
# Runs a Windows program under Wine in the prefix of this build (never the
# user's ~/.wine). The prefix is made on first use; concurrent first uses wait
# for each other.
set -eu
: "${WINEPREFIX:=$(pwd)/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine's menu builder, started for every link an installation makes, keeps
# folders busy for a while and writes menu entries into the Unix user's home.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$wine" wineboot -i >/dev/null 2>&1 || true
            # Without a window manager (a virtual display) managed windows wait
            # seconds for one on every hide; let Wine place its windows itself.
            "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
