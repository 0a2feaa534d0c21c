#!/bin/sh
# Proves the README's two commands on a machine that has never seen this
# project: a new minimal Debian root (debootstrap, from the mirror and suite
# this machine's apt uses), a clean clone of the committed project in it, then
# `make demo` and `make test` inside it, each timed. Needs root.
#
#   tools/fresh-machine.sh [folder]      (default build/fresh-machine)
#
# DEMO_LANGUAGES (default "en fr de ar") is passed to make demo; the demo's
# screenshots are copied to <folder>/screenshots. FRESH_KEEP=1 keeps the root
# afterwards for a look inside. Exits non-zero when either command fails.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$top/build/fresh-machine}
root=$work/root
. "$top/tools/apt-source.sh"

[ "$(id -u)" -eq 0 ] || { echo "fresh-machine: needs root (debootstrap, mount namespaces, mounts)" >&2; exit 2; }
if ! command -v debootstrap >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

release_source base-files || { echo "fresh-machine: no apt source of this machine offers base-files" >&2; exit 2; }

mounts_inside() { awk -v r="$root/" 'index($2, r) == 1 { print $2 }' /proc/mounts | sort -r; }
cleanup() {
    # Whatever a test left mounted inside (its small disk) goes too; the root
    # is removed only when nothing is mounted in it any more.
    for m in $(mounts_inside); do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
    if [ -n "$(mounts_inside)" ]; then
        echo "fresh-machine: $root still has mounts; left in place" >&2
    elif [ "${FRESH_KEEP:-0}" != 1 ]; then
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT INT TERM

rm -rf "$root"
mkdir -p "$root"
echo "fresh-machine: new Debian root ($suite from $mirror) in $root"
start=$(date +%s)
debootstrap --variant=minbase --include=make ${keyring:+--keyring="$keyring"} "$suite" "$root" "$mirror" \
    > "$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; exit 1; }
echo "fresh-machine: root made in $(( $(date +%s) - start )) s"

git clone -q "$top" "$root/root/tablewright"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount -t devpts devpts "$root/dev/pts"

# As a new user's shell would start: no display, no locale, only the
# system's PATH. The root becomes the root of a mount namespace of its own
# (pivot_root), not a chroot: a chrooted process may not make the user
# namespace that the 32-bit tests run in (tools/i686-enter.sh).
inside() {
    unshare --mount --fork sh -c '
        mount --make-rprivate / && mount --rbind "$1" "$1" && cd "$1" && mkdir -p .old-root &&
        pivot_root . .old-root && umount -l /.old-root && rmdir /.old-root &&
        exec /usr/bin/env -i HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            DEMO_LANGUAGES="$2" sh -c "cd /root/tablewright && $3"' sh "$root" "${DEMO_LANGUAGES:-en fr de ar}" "$1"
}

status=0
report=""
for command in "make demo" "make test"; do
    echo "fresh-machine: $command"
    start=$(date +%s)
    log=$work/$(echo "$command" | tr ' ' '-').log
    if inside "$command" > "$log" 2>&1; then result=passed; else result=FAILED; status=1; fi
    seconds=$(( $(date +%s) - start ))
    line="$command: $result in $((seconds / 60)) min $((seconds % 60)) s (log $log)"
    echo "fresh-machine: $line"
    [ "$result" = passed ] || tail -n 30 "$log"
    report="$report$line
"
done

rm -rf "$work/screenshots"
cp -r "$root/root/tablewright/build/x64/demo-screenshots" "$work/screenshots" 2>/dev/null || true
echo "fresh-machine: screenshots in $work/screenshots"
printf '%s' "$report"
exit $status
