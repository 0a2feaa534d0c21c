#!/bin/sh
# Runs a Windows program under Wine in the prefix of this build (never the
# user's ~/.wine). The prefix is made on first use; concurrent first uses wait
# for each other.
set -eu
: "${WINEPREFIX:=$(pwd)/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine takes the Unix file-name charset from the locale: in a shell without
# a UTF-8 one (a new machine's root shell has no LANG at all) every non-ASCII
# path fails. Whoever wants a user locale sets LC_ALL to it.
if [ -z "${LC_ALL:-}" ]; then
    case "$(locale charmap 2>/dev/null)" in
        UTF-8) ;;
        *) export LC_ALL=C.UTF-8 ;;
    esac
fi
# Wine's menu builder, started for every link an installation makes, keeps
# folders busy for a while and writes menu entries into the Unix user's home.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
# The check is made under the lock too: the prefix's first server writes
# system.reg as it ends, and a start that saw the file then would meet that
# server on its way out.
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot -i >/dev/null 2>&1 || true
        # Without a window manager (a virtual display) managed windows wait
        # seconds for one on every hide; let Wine place its windows itself.
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
        wineserver -w
        # Debian's Wine, started as /usr/lib/wine/wine64, looks for its own
        # fonts under a data path it cannot resolve, so dialogs would fall
        # back to whatever fontconfig offers. Windows keeps Tahoma and
        # Marlett in its Fonts folder, and so does every test machine.
        for font in /usr/share/wine/fonts/*.ttf; do
            [ -f "$font" ] && cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
        done
        # The user's Desktop, Documents and so on are links to the Unix
        # home: whatever a test puts there must stay in the prefix.
        for link in "$WINEPREFIX"/drive_c/users/*/*; do
            if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
        done
    fi
) 9>"$WINEPREFIX.lock"
exec "$wine" "$@"
