#!/bin/sh
# Runs the freshly built installer in Wine. With a display the user drives it.
# Without one it runs on a virtual display and is driven the way a user drives
# it with the keyboard: start page, Next, quick installation, Next, Install,
# Next, Exit. A screenshot of every page is saved in <build>/demo-screenshots.
#
#   tools/demo.sh [build-folder]
#   DEMO_LANGUAGES="en fr de ar" tools/demo.sh build/x64
#
# Each language runs as a user of that locale on a machine of its own (a Wine
# prefix per language), so that every run is a first installation.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../tests/wine-run.sh"
export WINEDEBUG=-all

if [ "${DEMO_DRIVE:-}" = 1 ]; then
    # Inside the virtual display: one run of the installer in one language.
    lang=$1
    installer="$2"
    shots="$3"
    step=0
    shot() {
        step=$((step + 1))
        file="$shots/$lang-$step-$1.png"
        import -window "$win" "$file"
        echo "Screenshot: $file"
    }
    press() {
        xdotool windowfocus --sync "$win" 2>/dev/null || true
        xdotool key --clearmodifiers "$1"
        sleep 1
    }
    "$run" "$installer" &
    pid=$!
    win=
    for i in $(seq 1 150); do
        win=$(xdotool search --onlyvisible --name "Tablewright 8.11n" 2>/dev/null | head -n 1 || true)
        [ -n "$win" ] && break
        sleep 0.2
    done
    if [ -z "$win" ]; then
        echo "The installer showed no wizard." >&2
        import -window root "$shots/$lang-failure.png"
        kill "$pid" 2>/dev/null || true
        exit 1
    fi
    sleep 1
    shot start
    # The About box, the last item of the system menu.
    press alt+space
    xdotool key Up; sleep 0.5
    xdotool key Return; sleep 1
    # The box lies over the frame: photograph the screen where the frame is.
    eval "$(xdotool getwindowgeometry --shell "$win")"
    step=$((step + 1))
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shots/$lang-$step-about.png"
    echo "Screenshot: $shots/$lang-$step-about.png"
    xdotool key Return; sleep 1
    press Return
    shot mode
    press Return
    shot summary
    # Install; the installation writes its uninstall log last.
    press Return
    shot installing
    log="$WINEPREFIX/drive_c/Program Files/Vantrel Software/Tablewright 8/Uninstall.ulog"
    for i in $(seq 1 240); do
        [ -f "$log" ] && break
        sleep 0.5
    done
    if [ ! -f "$log" ]; then
        echo "The installation wrote no uninstall log within two minutes." >&2
        import -window root "$shots/$lang-not-installed.png"
        kill "$pid" 2>/dev/null || true
        exit 1
    fi
    sleep 2
    shot installed
    press Return
    shot end
    press Return
    for i in $(seq 1 40); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.25
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "The wizard did not close on Exit." >&2
        import -window root "$shots/$lang-not-closed.png"
        kill "$pid" 2>/dev/null || true
        exit 1
    fi
    exit 0
fi

build=${1:-build/x64}
build=$(cd "$build" && pwd)
shots="$build/demo-screenshots"
mkdir -p "$shots"
if [ -n "${DISPLAY:-}" ]; then
    WINEPREFIX="$build/demo-prefix" "$run" "$build/Tablewright8Setup.exe"
    exit 0
fi

echo "No display: driving the installer on a virtual display."
status=0
for lang in ${DEMO_LANGUAGES:-en}; do
    case $lang in
    en) locale=en_US.UTF-8 ;;
    fr) locale=fr_FR.UTF-8 ;;
    de) locale=de_DE.UTF-8 ;;
    ar) locale=ar_SA.UTF-8 ;;
    *) locale=$lang ;;
    esac
    prefix="$build/demo-prefix-$lang"
    rm -rf "$prefix"
    echo "Language $lang ($locale):"
    WINEPREFIX="$prefix" LC_ALL="$locale" DEMO_DRIVE=1 \
        xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$lang" "$build/Tablewright8Setup.exe" "$shots" || status=1
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
done
exit $status
