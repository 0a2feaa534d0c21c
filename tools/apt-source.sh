# Where this machine's apt takes a package from, for scripts that need the
# same mirror, suite, component and keyring for something else (a source
# entry, a new Debian root). Sourced, not run.

# The one line of apt-cache policy that says where a package comes from:
# "500 http://mirror/debian bookworm/main amd64 Packages".
package_origin() {
    apt-cache policy "$1" 2>/dev/null | awk '$1 ~ /^[0-9]+$/ && $2 ~ /:\/\// { print $2, $3; exit }'
}

# The keyring that the machine's own entry for a mirror names, if any, in the
# deb822 (.sources) or the one-line (.list) form.
mirror_keyring() {
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        case $f in
            *.sources)
                awk -v uri="$1" 'BEGIN { RS = ""; FS = "\n" }
                    index($0, uri) { for (i = 1; i <= NF; i++) if ($i ~ /^Signed-By:/) { sub(/^Signed-By:[ \t]*/, "", $i); print $i; exit } }' "$f" ;;
            *)
                grep -E "^deb[[:space:]].*$1" "$f" | sed -n 's/.*signed-by=\([^] ]*\).*/\1/p' | head -n 1 ;;
        esac
    done | head -n 1
}

# The mirror, release suite and keyring that this machine takes a package
# from, for a new Debian root of the same release: sets mirror, suite and
# keyring; fails when no source offers the package.
release_source() {
    origin=$(package_origin "$1")
    [ -n "$origin" ] || return 1
    mirror=${origin%% *}
    where=${origin#* }
    suite=${where%%/*}
    # Debian's updates and security suites hold no complete release.
    suite=${suite%-updates}
    suite=${suite%-security}
    keyring=$(mirror_keyring "$mirror")
}
