#!/bin/sh
# A machine of its own for one whole-product test: a Wine prefix made afresh
# before the test and removed after it, optionally with a small disk of its
# own as drive T:.
#
#   machine.sh create PREFIX [DISK_SIZE]
#   machine.sh remove PREFIX
#
# The small disk is a tmpfs, which only root can mount; without it the test
# that needs it skips itself. Always exits 0: the test says what is missing.
# VT_WINE_ENTER: the script that reaches the build's Wine (tools/i686-enter.sh).
set -u
action=$1
prefix=$2
size=${3:-}
disk="$prefix-disk"

stop_wine() { WINEPREFIX="$prefix" ${VT_WINE_ENTER:+sh "$VT_WINE_ENTER"} wineserver -k 2>/dev/null; }
unmount_disk() { if mountpoint -q "$disk" 2>/dev/null; then umount "$disk"; fi; }

stop_wine
unmount_disk
rm -rf "$prefix" "$prefix.lock" "$disk"
[ "$action" = create ] && [ -n "$size" ] || exit 0

mkdir -p "$disk"
# Few inodes too, so that a test can use them all up cheaply: then no folder
# can be made there (a disk full while making a folder).
if ! mount -t tmpfs -o "size=$size,nr_inodes=1024" vt-small-disk "$disk" 2>/dev/null; then
    echo "no small disk: mounting a tmpfs failed (it needs root)"
    exit 0
fi
# A drive letter is a link in the prefix's dosdevices; Wine makes the prefix
# only when that folder does not exist yet, so the prefix comes first, made as
# for every test.
WINEPREFIX="$prefix" sh "$(dirname "$0")/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1
# Its server ends before the test starts, which would otherwise meet it on its
# way out (tools/wine-server.sh).
WINEPREFIX="$prefix" wineserver -w
ln -s "$disk" "$prefix/dosdevices/t:"
exit 0
