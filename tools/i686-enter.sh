#!/bin/sh
# Runs a command inside the 32-bit root of tools/i686-root.sh, where 32-bit
# Linux programs run through qemu-i386:
#
#   tools/i686-enter.sh COMMAND [ARGUMENT...]
#
# Nothing changes on the machine itself: a private user and mount namespace
# gets a binfmt_misc of its own, whose one entry hands every 32-bit ELF
# program to the root's qemu-i386 (the F flag opens qemu here, before the
# chroot). The root sees the machine's /dev, /proc, /sys and /tmp (the X
# display's socket, the Wine server's), this clone, the current folder and
# the Wine prefix's folder, each at its own path.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != --inside ]; then
    root=$(sh "$here/i686-root.sh" --path)
    if [ ! -f "$root/etc/tablewright-i686-root" ]; then
        echo "i686-enter: no 32-bit root at $root; make it with tools/i686-root.sh (as root)" >&2
        exit 1
    fi
    exec unshare --user --map-root-user --mount --fork sh "$0" --inside "$root" "$@"
fi
root=$2
shift 2

# The ELF header of a 32-bit x86 program or shared object, as qemu's own
# binfmt entry describes it; the kernel reads the \x escapes itself.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
binfmt=$root/run/tablewright-binfmt
mkdir -p "$binfmt"
mount -t binfmt_misc binfmt_misc "$binfmt"
printf ':tablewright-i386:M::%s:%s:%s:F\n' "$magic" "$mask" "$root/opt/tablewright/qemu-i386" >"$binfmt/register"

for system in dev proc sys; do
    mount --rbind "/$system" "$root/$system"
done
top=$(cd "$here/.." && pwd)
prefix_folder=
[ -z "${WINEPREFIX:-}" ] || prefix_folder=$(dirname "$WINEPREFIX")
# Each folder once, and none below another one (rbind carries it).
shared=$(printf '%s\n' /tmp "$top" "$PWD" ${prefix_folder:+"$prefix_folder"} | sort -u | awk '
    { for (i = 1; i <= n; i++) if (index($0 "/", kept[i] "/") == 1) next; kept[++n] = $0; print }')
newline='
'
IFS=$newline
for folder in $shared; do
    [ -d "$folder" ] || continue
    mkdir -p "$root$folder"
    mount --rbind "$folder" "$root$folder"
done
unset IFS

exec chroot "$root" /usr/bin/env PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin \
    /bin/sh -c 'cd "$1" && shift && exec "$@"' sh "$PWD" "$@"
