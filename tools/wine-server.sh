#!/bin/sh
# Keeps one Wine server running for a prefix while programs start and end in
# it one after another or side by side.
#
#   wine-server.sh start    the prefix (made on first use) and its server
#   wine-server.sh stop     its server and whatever still runs in it
#
# WINEPREFIX names the prefix. Left to itself, a prefix's server ends as soon
# as the last program in it and then Wine's own services have ended (Debian
# starts it with -p0); a program that connects just before it closes its
# socket has that connection reset before it ran ("wine client error:0:
# recvmsg: Connection reset by peer"). A server started here stays until
# stopped.
set -eu
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
tests=$(cd "$(dirname "$0")/../tests" && pwd)
# The i686 build's Wine lives in the 32-bit root, reached through
# VT_WINE_ENTER (tools/i686-enter.sh); the x64 build's is the machine's own.
wine_side() { ${VT_WINE_ENTER:+sh "$VT_WINE_ENTER"} "$@"; }
case "${1:-}" in
start)
    wine_side sh "$tests/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1
    # The server that ran that, or one an interrupted run left, ends first.
    wine_side wineserver -k 2>/dev/null || true
    # The server goes into the background, and with a server that stays,
    # Wine's own services (started by the first program) stay too: neither may
    # hold a caller's output open (ctest waits for that), so the services are
    # started here, by a program without any.
    wine_side wineserver -p </dev/null >/dev/null 2>&1
    wine_side sh "$tests/wine-run.sh" cmd /c exit 0 </dev/null >/dev/null 2>&1
    ;;
stop)
    wine_side wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: wine-server.sh start|stop" >&2
    exit 2
    ;;
esac
