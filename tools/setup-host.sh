#!/bin/sh
# Installs what the build needs on a Debian machine and unpacks the bzip2
# sources that the Windows builds compile for themselves. Quiet when there is
# nothing to do, so it can run before every build.
set -eu

deps_dir=${1:-build/deps}
packages="cmake make g++ dpkg-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb xauth xdotool imagemagick
  libboost1.74-dev libbz2-dev nsis googletest
  clang libclang-rt-14-dev"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# libbz2 has no mingw package: take Debian's own source package and let CMake
# compile it for each Windows target.
if [ ! -f "$deps_dir/bzip2/bzlib.c" ]; then
    echo "Fetching the bzip2 source package"
    list=/etc/apt/sources.list.d/tablewright-deb-src.sources
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            | as_root tee "$list" >/dev/null
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
