#!/bin/sh
# Writes the seed corpora of the fuzz targets into tools/fuzz/corpus:
# archives packed by vt-pack (bzip2 removed: the header reader sees the
# archive itself), logs written the way the installer writes them and texts
# in every encoding (vt-fuzz-seeds). The seeds are committed; run this again
# only when the formats change.
#
#   tools/fuzz/make-seeds.sh BUILD_DIR     (a fuzz build, as fuzz.sh makes it)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: make-seeds.sh BUILD_DIR}
corpus="$here/corpus"

cmake --build "$build" --target vt-pack vt-fuzz-seeds -j 2 >/dev/null
"$build/vt-fuzz-seeds" "$corpus"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archives="$corpus/archive_header"
mkdir -p "$archives" "$work/files/Lang"

printf 'Runs the graphics setup.\n' >"$work/files/setup.txt"
printf '<materials><oak/></materials>\n' >"$work/files/materials.xml"
printf 'Bonjour\n' >"$work/files/Lang/Français.txt"
printf 'Tablewright 8.11n\n' >"$work/files/Tablewright.txt"
: >"$work/files/empty.ini"

pack() {
    name=$1
    cat >"$work/manifest.txt"
    "$build/vt-pack" pack "$work/manifest.txt" "$work/$name.bz2" >/dev/null
    bzip2 -dc "$work/$name.bz2" >"$archives/$name"
}

pack four-entries <<'EOF'
temporary       | <Temporary>                                 | files/setup.txt
shared_data     | <CommonData>\Vantrel Software\Tablewright 8 | files/materials.xml
language_module | <InstallPath>\Lang                          | files/Lang/Français.txt
program         | <InstallPath>                               | files/Tablewright.txt
EOF

pack empty-file <<'EOF'
shared_data     | <UserData>\Vantrel Software\Tablewright 8   | files/empty.ini
program         | <InstallPath>                               | files/Tablewright.txt
EOF

# The sample payload's header alone: the data has not arrived yet.
"$build/vt-pack" pack "$here/../packer/sample/manifest.txt" "$work/sample.bz2" >/dev/null
bzip2 -dc "$work/sample.bz2" >"$work/sample"
length=$(od -An -tu8 -N8 "$work/sample" | tr -d ' ')
head -c "$length" "$work/sample" >"$archives/sample-header"

# No entry at all: H = 12, N = 0.
printf '\014\0\0\0\0\0\0\0\0\0\0\0' >"$archives/no-entries"

ls -l "$corpus"/*
