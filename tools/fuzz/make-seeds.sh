#!/bin/sh
# Writes the seed corpora of the archive-header, uninstall-log and codec fuzz
# targets into tools/fuzz/corpus: a few small inputs of the shapes each reader
# meets, from which libFuzzer finds its own way. The seeds are committed; run
# this again only when the formats change.
#
#   tools/fuzz/make-seeds.sh BUILD_DIR     (a fuzz build, as fuzz.sh makes it)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: make-seeds.sh BUILD_DIR}
corpus="$here/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus/archive_header" "$corpus/uninstall_log" "$corpus/txtf_codec"

# The sample payload's archive (bzip2 removed: the header reader sees the
# archive itself) cut a little after its header, and an archive without any
# entry: H = 12, N = 0.
cmake --build "$build" --target vt-pack -j 2 >/dev/null
"$build/vt-pack" pack "$here/../packer/sample/manifest.txt" "$work/sample.bz2" >/dev/null
bzip2 -dc "$work/sample.bz2" >"$work/sample"
length=$(od -An -tu8 -N8 "$work/sample" | tr -d ' ')
head -c $((length + 16)) "$work/sample" >"$corpus/archive_header/sample"
printf '\014\0\0\0\0\0\0\0\0\0\0\0' >"$corpus/archive_header/no-entries"

# A log as the installer writes it: UTF-16 with a mark, CR LF.
cat >"$work/log" <<'END'
// Uninstall Log File v1
// ############ WARNING: Do not delete or modify this file. ############
// Install Tablewright 8.11n -- Update (Tablewright 8.11m)
// Install Path : C:\Program Files\Vantrel Software\Tablewright 8
// Shortcut Path : C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Vantrel Software\Tablewright 8
// ----------------------------------------
0000:00ff:1 -- C:\Program Files\Vantrel Software\Tablewright 8\Lang
0001:0101:1 -- C:\Program Files\Vantrel Software\Tablewright 8\Lang\Français.dll
0002:04ff:0 -- C:\Users\Zoë\Desktop\Tablewright 8.11n 📐.lnk
0003:05ff:1 -- HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tablewright 8
0004:07ff:0 -- DirectX Update
END
{ printf '\377\376'; sed 's/$/\r/' "$work/log" | iconv -f UTF-8 -t UTF-16LE; } \
    >"$corpus/uninstall_log/installer.ulog"

# The codec's inputs begin with the mode word (2 bytes) and the control byte
# (bits 0-1 the code page: 0 Latin-1, 2 the C.UTF-8 locale).
# text NAME PREFIX ENCODING: PREFIX holds those three bytes and any mark.
sample='Tablewright 8.11n\r\nCafé chair — naïve\tx\rLast € 📐 line\n'
text() {
    { printf "$2"; printf "$sample" | iconv -f UTF-8 -t "$3"; } >"$corpus/txtf_codec/$1"
}
text auto-utf8-mark '\0\0\0\357\273\277' UTF-8
text auto-utf16le-mark '\0\0\0\377\376' UTF-16LE
text auto-utf32le-mark '\0\0\0\377\376\0\0' UTF-32LE
text utf16be-no-mark '\002\010\0' UTF-16BE
text code-page-utf8-locale '\010\0\2' UTF-8
printf '\0\0\0Chaise caf\351\r\nna\357ve\n' >"$corpus/txtf_codec/auto-latin1"
# Broken UTF-8 the lenient reading must survive: a stray continuation byte, a
# cut sequence, a surrogate pair as two three-byte forms, an overlong form, a
# five-byte form, a lone surrogate and a noncharacter.
printf '\001\0\0a\200b\342\202c\355\240\275\355\263\220d\300\257e' >"$corpus/txtf_codec/utf8-broken"
printf '\370\210\200\200\200f\355\260\200g\357\277\277\r\n' >>"$corpus/txtf_codec/utf8-broken"
