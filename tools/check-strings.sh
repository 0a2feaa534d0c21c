#!/bin/sh
# Consistency check of the installer's string tables (resources/strings).
#
# The installer looks its texts up by id and language and falls back to
# English, then French, only when a text is absent or "#". A table that lacks
# an id, carries an id nobody asks for, or drops a {0}/{1} that the code fills
# in would go unnoticed at build time (rc accepts all of it), so this script
# checks, for every language of the installer:
#   - the file exists, is included by strings.rc and sets the right LANGUAGE;
#   - it has exactly one STRINGTABLE holding every text id once, in id order;
#   - every line of the table is a well-formed `id "text"` entry, no text is
#     empty (an empty text is absent and would silently fall back to French);
#   - English has every text (it is the fallback of all other languages);
#   - every translated text (anything but "#") has the same {n} placeholders,
#     with the same counts, as the English text.
# Usage: check-strings.sh DIR   (DIR holds strings.rc and the language files)
# Exit status 0 when everything holds, 1 otherwise (each fault is listed).

set -u

dir=${1:?usage: check-strings.sh STRINGS_DIR}

# Text ids of the installer, in the order the tables list them.
ids='1000 1001 1002 1003 1004 1005 1006 1007 1008
1010 1011 1012 1013 1014 1015 1016 1017 1018
1100 1101 1102 1103 1104 1105 1106 1107 1108
1110 1111 1112 1113 1114 1115 1117 1118 1119 1120 1121 1122 1123 1124 1125 1126 1127
1129 1131'

# File tag and LANGUAGE statement of each language of the installer. The
# sublanguage names must be those that windres knows while compiling a
# resource script (winnt.rh), hence SUBLANG_DEFAULT where the LANGID's
# sublanguage is 1.
languages='fr LANG_FRENCH, SUBLANG_FRENCH
en LANG_ENGLISH, SUBLANG_ENGLISH_US
de LANG_GERMAN, SUBLANG_GERMAN
es LANG_SPANISH, SUBLANG_SPANISH_MODERN
pt LANG_PORTUGUESE, SUBLANG_PORTUGUESE
nl LANG_DUTCH, SUBLANG_DUTCH
da LANG_DANISH, SUBLANG_DEFAULT
tr LANG_TURKISH, SUBLANG_DEFAULT
bg LANG_BULGARIAN, SUBLANG_DEFAULT
ro LANG_ROMANIAN, SUBLANG_DEFAULT
zh-hans LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED
it LANG_ITALIAN, SUBLANG_ITALIAN
cs LANG_CZECH, SUBLANG_DEFAULT
nb LANG_NORWEGIAN, SUBLANG_NORWEGIAN_BOKMAL
el LANG_GREEK, SUBLANG_DEFAULT
pl LANG_POLISH, SUBLANG_DEFAULT
he LANG_HEBREW, SUBLANG_DEFAULT
vi LANG_VIETNAMESE, SUBLANG_DEFAULT
ja LANG_JAPANESE, SUBLANG_DEFAULT
hu LANG_HUNGARIAN, SUBLANG_DEFAULT
sr-latn LANG_SERBIAN, SUBLANG_SERBIAN_LATIN
ar LANG_ARABIC, SUBLANG_ARABIC_SAUDI_ARABIA
sl LANG_SLOVENIAN, SUBLANG_DEFAULT
ru LANG_RUSSIAN, SUBLANG_DEFAULT
hr LANG_CROATIAN, SUBLANG_DEFAULT'

tab=$(printf '\t')
failures=0

fail() {
    printf '%s\n' "$*" >&2
    failures=$((failures + 1))
}

# Prints one line per string-table entry of file $1: id, tab, text as written
# in the file (rc escapes kept), tab, its placeholders sorted and joined
# ("{0}{0}{1}"). Structural faults are printed as "!" lines with a message.
parse_table() {
    awk '
    function placeholders(text,    list, n, i, j, tmp, out) {
        n = 0
        while (match(text, /\{[0-9]+\}/)) {
            list[++n] = substr(text, RSTART, RLENGTH)
            text = substr(text, RSTART + RLENGTH)
        }
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && list[j - 1] > list[j]; j--) {
                tmp = list[j]; list[j] = list[j - 1]; list[j - 1] = tmp
            }
        out = ""
        for (i = 1; i <= n; i++) out = out list[i]
        return out
    }
    function problem(message) { printf "!\tline %d: %s\n", FNR, message }
    { sub(/\r$/, "") }
    state == "" && /^[ \t]*STRINGTABLE[ \t]*$/ { tables++; state = "head"; next }
    state == "head" {
        if ($0 ~ /^[ \t]*(BEGIN|\{)[ \t]*$/) state = "body"
        else problem("STRINGTABLE not followed by BEGIN")
        next
    }
    state == "body" && /^[ \t]*(END|\})[ \t]*$/ { state = ""; next }
    state == "body" && /^[ \t]*(\/\/.*)?$/ { next }
    state == "body" {
        if ($0 !~ /^[ \t]*[0-9]+,?[ \t]+".*"[ \t]*$/) { problem("not an entry: " $0); next }
        match($0, /[0-9]+/)
        id = substr($0, RSTART, RLENGTH)
        text = $0
        sub(/^[^"]*"/, "", text)
        sub(/"[ \t]*$/, "", text)
        unescaped = text
        gsub(/""/, "", unescaped)
        if (index(unescaped, "\"")) { problem("unescaped quote in text " id); next }
        if (text == "") { problem("empty text " id " (write \"#\" for a missing text)"); next }
        printf "%s\t%s\t%s\n", id, text, placeholders(text)
    }
    END {
        if (state != "") problem("STRINGTABLE not closed by END")
        if (tables != 1) printf "!\t%d STRINGTABLE blocks instead of 1\n", tables + 0
    }' "$1"
}

# The English table is the reference for placeholders.
english="$dir/en.rc"
if [ ! -f "$english" ]; then
    echo "$english: missing" >&2
    exit 1
fi
# "id=placeholders" words of the English texts, e.g. "1101={0}{1}".
reference=$(parse_table "$english" | awk -F "$tab" '$1 != "!" && $1 != "" { printf "%s=%s ", $1, $3 }')

# Compares the parsed entries on standard input with the id list and with the
# English placeholders; prints one line per fault.
compare_entries() { # file name, 1 when the file is the English table
    awk -F "$tab" -v file="$1" -v is_english="$2" -v ids="$ids" -v reference="$reference" '
    BEGIN {
        n = split(ids, wanted, /[ \n]+/)
        for (i = 1; i <= n; i++) known[wanted[i]] = 1
        m = split(reference, words, / /)
        for (i = 1; i <= m; i++) {
            eq = index(words[i], "=")
            if (eq) english[substr(words[i], 1, eq - 1)] = substr(words[i], eq + 1)
        }
    }
    $1 == "" { next }
    $1 == "!" { print file ": " $2; next }
    {
        seen[$1]++
        if (!($1 in known)) { print file ": extra id " $1; next }
        if ($1 + 0 < previous + 0) print file ": id " $1 " is out of ascending order"
        previous = $1
        if ($2 == "#") {
            if (is_english) print file ": English text " $1 " is \"#\"; English must have every text"
        } else if ($3 != english[$1]) {
            print file ": text " $1 " has placeholders \"" $3 "\" where English has \"" english[$1] "\""
        }
    }
    END {
        for (i = 1; i <= n; i++) {
            if (!(wanted[i] in seen)) print file ": lacks id " wanted[i]
            else if (seen[wanted[i]] > 1) print file ": id " wanted[i] " appears " seen[wanted[i]] " times"
        }
    }'
}

check_language() { # tag, expected LANGUAGE arguments
    file="$dir/$1.rc"
    if [ ! -f "$file" ]; then
        fail "$file: missing"
        return
    fi
    grep -q "^#include \"$1.rc\"" "$dir/strings.rc" || fail "$dir/strings.rc: does not include $1.rc"
    grep -q '^#pragma code_page(65001)' "$file" || fail "$file: no #pragma code_page(65001)"

    statements=$(grep -c '^[[:space:]]*LANGUAGE[[:space:]]' "$file")
    [ "$statements" -eq 1 ] || fail "$file: $statements LANGUAGE statements instead of 1"
    grep -q "^LANGUAGE $2[[:space:]]*\$" "$file" || fail "$file: LANGUAGE is not \"$2\""

    is_english=0
    [ "$1" = en ] && is_english=1
    problems=$(parse_table "$file" | compare_entries "$file" "$is_english")
    if [ -n "$problems" ]; then
        printf '%s\n' "$problems" >&2
        failures=$((failures + $(printf '%s\n' "$problems" | wc -l)))
    fi
}

while read -r tag statement; do
    check_language "$tag" "$statement"
done <<EOF
$languages
EOF

# Every language file in the folder must belong to the installer's languages
# and be compiled in.
for file in "$dir"/*.rc; do
    tag=$(basename "$file" .rc)
    [ "$tag" = strings ] && continue
    printf '%s\n' "$languages" | grep -q "^$tag " || fail "$file: not one of the installer's languages"
done

if [ "$failures" -ne 0 ]; then
    echo "string tables: $failures fault(s)" >&2
    exit 1
fi
echo "string tables: $(printf '%s\n' "$languages" | wc -l) languages, $(echo "$ids" | wc -w) texts each, consistent"
