#!/bin/sh
# Runs the freshly built installer in Wine. With a display the user drives it.
# Without one it runs on a virtual display and is driven the way a user drives
# it with the keyboard: start page, Next, quick installation, Next, Install,
# Next, Exit. A screenshot of every page is saved in <build>/demo-screenshots.
#
#   tools/demo.sh [build-folder]
#   DEMO_LANGUAGES="en fr de ar" tools/demo.sh build/x64
#   DEMO_DPI=144 tools/demo.sh build/x64
#
# Each language runs as a user of that locale on a machine of its own (a Wine
# prefix per language), so that every run is a first installation. DEMO_DPI
# sets that user's text scale in dots per inch (96 is 100 %, 144 is 150 %);
# the screenshots of another scale than 96 go to demo-screenshots-<dpi>.
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
dpi=${DEMO_DPI:-96}
case $dpi in
'' | *[!0-9]*) echo "DEMO_DPI is a number of dots per inch, such as 144." >&2; exit 2 ;;
esac
shots="$build/demo-screenshots"
[ "$dpi" = 96 ] || shots="$shots-$dpi"
mkdir -p "$shots"
# A prefix made anew, its user's text scale set before the installer starts.
scaled_prefix() {
    rm -rf "$1"
    [ "$dpi" = 96 ] || sh "$here/scaled-prefix.sh" "$1" "$dpi"
}
if [ -n "${DISPLAY:-}" ]; then
    if [ "$dpi" != 96 ]; then
        scaled_prefix "$build/demo-prefix-$dpi"
        WINEPREFIX="$build/demo-prefix-$dpi" "$run" "$build/Tablewright8Setup.exe"
    else
        WINEPREFIX="$build/demo-prefix" "$run" "$build/Tablewright8Setup.exe"
    fi
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
    echo "Language $lang ($locale), $dpi dpi:"
    LC_ALL="$locale" scaled_prefix "$prefix"
    # The screen grows with the scale, as a screen of that scale would be.
    screen="$((1024 * dpi / 96))x$((768 * dpi / 96))x24"
    WINEPREFIX="$prefix" LC_ALL="$locale" DEMO_DRIVE=1 \
        xvfb-run -a -s "-screen 0 $screen" sh "$0" "$lang" "$build/Tablewright8Setup.exe" "$shots" || status=1
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
done
exit $status
