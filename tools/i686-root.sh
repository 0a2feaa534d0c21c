#!/bin/sh
# The Debian root in which the shipped 32-bit programs run: Debian's own
# 32-bit Wine beside its 64-bit one (a 64-bit prefix starts 32-bit programs
# through the 32-bit loader), and a qemu-i386 that carries the 32-bit side,
# since this machine's processor runs 64-bit user code only. The 32-bit Wine
# must never be installed on the machine itself: Debian's wine script would
# then pick the 32-bit loader for the x64 tests too.
#
#   tools/i686-root.sh          makes the root unless it is there; prints its folder
#   tools/i686-root.sh --path   only prints where it is (or would be)
#
# The root lives outside any clone, so that every clone and build of the
# machine shares it: $VT_I686_ROOT, else $XDG_CACHE_HOME/tablewright/i686-root,
# else /var/cache/tablewright/i686-root. Making it needs root (debootstrap).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)

if [ -n "${VT_I686_ROOT:-}" ]; then
    root=$VT_I686_ROOT
elif [ -n "${XDG_CACHE_HOME:-}" ]; then
    root=$XDG_CACHE_HOME/tablewright/i686-root
else
    root=/var/cache/tablewright/i686-root
fi
if [ "${1:-}" = --path ]; then
    echo "$root"
    exit 0
fi

# What the root holds; a root made by an older recipe is made again.
recipe=2
stamp=$root/etc/tablewright-i686-root
if [ "$(cat "$stamp" 2>/dev/null)" = "$recipe" ]; then
    echo "$root"
    exit 0
fi

fail() {
    echo "i686-root: $*" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "making $root needs root (debootstrap, chroot); run this once as root, or set VT_I686_ROOT to a root made before"

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
# Another make may have finished it while this one waited.
if [ "$(cat "$stamp" 2>/dev/null)" = "$recipe" ]; then
    echo "$root"
    exit 0
fi

. "$top/tools/apt-source.sh"
if ! command -v debootstrap >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null ||
        fail "cannot install debootstrap from this machine's package sources"
fi
release_source wine64 || fail "no apt source of this machine offers wine64"
# qemu-i386 before version 8 crashes as soon as a program has a second
# thread; bookworm's is 7.2. Its successor's qemu-user holds a static
# qemu-i386 that runs here as it is.
case $suite in
    bookworm | oldstable | bullseye | oldoldstable) qemu_suite=trixie ;;
    *) qemu_suite=$suite ;;
esac

log=$root.log
echo "i686-root: making $root ($suite from $mirror; log in $log)" >&2
start=$(date +%s)
partial=$root.partial
rm -rf --one-file-system "$partial" "$root"
debootstrap --variant=minbase ${keyring:+--keyring="$keyring"} "$suite" "$partial" "$mirror" >"$log" 2>&1 ||
    fail "debootstrap of $suite from $mirror failed; see $log"

# The same source inside, for both architectures.
keyring_inside=
if [ -n "$keyring" ]; then
    keyring_inside=/usr/share/keyrings/tablewright-mirror.gpg
    cp "$keyring" "$partial$keyring_inside"
fi
sources() {
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' "$mirror" "$1"
    [ -z "$keyring_inside" ] || printf 'Signed-By: %s\n' "$keyring_inside"
}
rm -f "$partial/etc/apt/sources.list"
sources "$suite" >"$partial/etc/apt/sources.list.d/debian.sources"
sources "$qemu_suite" >"$partial/etc/apt/qemu.sources"
cp /etc/resolv.conf "$partial/etc/resolv.conf"
inside() { chroot "$partial" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

# The X extensions that Wine's display driver loads as it finds them, in
# both architectures, as the machine's own Wine has them.
x_libraries="libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3 libxxf86vm1"
# Without Wine's 32-bit preloader (wine32-preloader), which under qemu-i386
# leaves the address of the 32-bit ntdll taken when a large program starts:
# ntdll is moved elsewhere and the program's first window fails, since the
# desktop process cannot be started from it.
packages="wine wine64 libwine fonts-wine locales wine32:i386 libwine:i386"
for library in $x_libraries; do packages="$packages $library $library:i386"; done
{
    inside dpkg --add-architecture i386 &&
        inside apt-get update -qq &&
        inside apt-get install -y -qq --no-install-recommends $packages
} >>"$log" 2>&1 || fail "installing the 32-bit Wine in the root failed; see $log"

# Only qemu-i386 of the successor's qemu-user, never the package itself.
qemu_lists=/var/lib/apt/qemu-lists
mkdir -p "$partial$qemu_lists/partial" "$partial/tmp/qemu"
qemu_apt="-o Dir::Etc::SourceList=/etc/apt/qemu.sources -o Dir::Etc::SourceParts=/nonexistent -o Dir::State::Lists=$qemu_lists"
{
    inside apt-get $qemu_apt update -qq &&
        inside sh -c "cd /tmp/qemu && apt-get $qemu_apt download qemu-user" &&
        inside sh -c 'dpkg-deb -x /tmp/qemu/qemu-user_*.deb /tmp/qemu/files'
} >>"$log" 2>&1 || fail "cannot fetch qemu-user from $qemu_suite at $mirror; see $log"
mkdir -p "$partial/opt/tablewright"
cp "$partial/tmp/qemu/files/usr/bin/qemu-i386" "$partial/opt/tablewright/qemu-i386"
rm -rf "$partial/tmp/qemu" "$partial$qemu_lists"
"$partial/opt/tablewright/qemu-i386" --version >>"$log" 2>&1 ||
    fail "the qemu-i386 of $qemu_suite does not run on this machine; see $log"

# The locales the 32-bit tests run Wine under.
for locale in en_US; do
    inside localedef -i $locale -c -f UTF-8 $locale.UTF-8 >>"$log" 2>&1 || fail "cannot make the locale $locale.UTF-8"
done
inside apt-get clean
echo "$recipe" >"$partial/etc/tablewright-i686-root"
mv "$partial" "$root"
echo "i686-root: made in $(($(date +%s) - start)) s, $(du -sh --one-file-system "$root" | cut -f1)" >&2
echo "$root"
