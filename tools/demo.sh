#!/bin/sh
# Runs the freshly built installer in Wine. With a display the user drives it;
# without one it runs on a virtual display, a screenshot of what it shows is
# saved, and the run is closed the way a user would close it.
set -eu
build=${1:-build/x64}
build=$(cd "$build" && pwd)
export WINEPREFIX="$build/demo-prefix" WINEDEBUG=-all
run="$(dirname "$0")/../tests/wine-run.sh"
shots="$build/demo-screenshots"
mkdir -p "$shots"

if [ -n "${DISPLAY:-}" ]; then
    "$run" "$build/Tablewright8Setup.exe"
    exit 0
fi

echo "No display: running the installer on a virtual display."
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    set -eu
    "$1" "$2/Tablewright8Setup.exe" &
    pid=$!
    # Wait for the installer window, photograph it, then press its default button.
    for i in $(seq 1 100); do
        win=$(xdotool search --onlyvisible --class "Tablewright8Setup.exe" 2>/dev/null | head -n 1 || true)
        [ -n "$win" ] && break
        sleep 0.2
    done
    sleep 1
    import -window root "$3/startup.png"
    echo "Screenshot: $3/startup.png"
    if [ -n "$win" ]; then
        xdotool windowactivate --sync "$win" key Return 2>/dev/null || xdotool key Return
    fi
    wait $pid || true
' demo "$run" "$build" "$shots"
wineserver -k 2>/dev/null || true
