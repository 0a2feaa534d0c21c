#!/bin/sh
# Installs what the build needs on a Debian machine and unpacks the bzip2
# sources that the Windows builds compile for themselves. Quiet when there is
# nothing to do, so it can run before every build.
set -eu

deps_dir=${1:-build/deps}
# Unversioned names, so that the next Debian release resolves them itself.
# fonts-wine holds Tahoma and Marlett, the wizard's dialog and caption fonts;
# locales lets Wine take the tests' user locales, and with them a UTF-8 file
# name charset (without it every non-ASCII path fails); icoutils reads the
# resources of the 32-bit installer, which never runs here; osslsigncode
# signs it, openssl makes the tests' certificate, bzip2 unpacks its payload.
packages="cmake make g++ dpkg-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 fonts-wine xvfb xauth xdotool imagemagick locales icoutils
  osslsigncode openssl bzip2
  libboost-dev libbz2-dev nsis googletest
  clang libclang-rt-dev"
# The user locales that the tests and the demo run under.
user_locales="en_US de_DE fr_FR ar_SA ru_RU sv_SE zh_TW hr_HR"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=""
for p in $packages; do
    installed "$p" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    as_root apt-get update -qq
    unknown=""
    for p in $missing; do
        apt-cache show "$p" >/dev/null 2>&1 || unknown="$unknown $p"
    done
    if [ -n "$unknown" ]; then
        echo "This machine's package sources offer none of:$unknown" >&2
        echo "Add a Debian source that has them, or install an equivalent by hand." >&2
        exit 1
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# Wine reads the user's locale from LC_ALL; without the compiled locale it
# falls back to ASCII file names.
have_locales=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z')
for l in $user_locales; do
    name=$l.UTF-8
    # Croatian of Bosnia is not one of glibc's locales: Croatian data under
    # that name serves the test of the sublanguage.
    for target in $name $( [ "$l" = hr_HR ] && echo hr_BA.UTF-8 ); do
        want=$(echo "$target" | sed 's/UTF-8/utf8/' | tr 'A-Z' 'a-z')
        echo "$have_locales" | grep -qx "$want" && continue
        echo "Generating the locale $target"
        as_root localedef -i "$l" -c -f UTF-8 "$target"
    done
done

. "$(dirname "$0")/apt-source.sh"

# libbz2 has no mingw package: take Debian's own source package and let CMake
# compile it for each Windows target. The source entry is the machine's own
# binary entry for bzip2 (mirror, suite, component and keyring), so that this
# works behind any mirror and on any release.
if [ ! -f "$deps_dir/bzip2/bzlib.c" ]; then
    echo "Fetching the bzip2 source package"
    list=/etc/apt/sources.list.d/tablewright-deb-src.sources
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        origin=$(package_origin bzip2)
        if [ -z "$origin" ]; then
            as_root apt-get update -qq
            origin=$(package_origin bzip2)
        fi
        if [ -z "$origin" ]; then
            echo "No apt source of this machine offers bzip2; cannot fetch its source package." >&2
            exit 1
        fi
        uri=${origin%% *}
        where=${origin#* }
        suite=${where%%/*}
        component=${where#*/}
        keyring=$(mirror_keyring "$uri")
        {
            printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n' "$uri" "$suite" "$component"
            [ -n "$keyring" ] && printf 'Signed-By: %s\n' "$keyring"
        } | as_root tee "$list" >/dev/null
        as_root apt-get update -qq
    fi
    rm -rf "$deps_dir/bzip2-src"
    mkdir -p "$deps_dir/bzip2-src"
    (cd "$deps_dir/bzip2-src" && apt-get source -qq bzip2 >/dev/null 2>&1)
    rm -rf "$deps_dir/bzip2"
    mv "$deps_dir"/bzip2-src/bzip2-1.*/ "$deps_dir/bzip2"
    rm -rf "$deps_dir/bzip2-src"
fi

# The cross compilers must see Boost but never the host's /usr/include.
if [ ! -e "$deps_dir/boost-include/boost" ]; then
    mkdir -p "$deps_dir/boost-include"
    ln -s /usr/include/boost "$deps_dir/boost-include/boost"
fi
