# shellcheck shell=bash
# Sourceable helpers for the Windows build: install missing Debian packages,
# fetch and unpack Debian source packages through a private apt configuration
# (deb-src entries made from this machine's deb entries) kept under a cache
# directory, so the system's apt sources are never touched, and check the DLLs
# built from them. Progress goes to stderr, so callers' stdout stays theirs.
#
#   expect_arguments COUNT USAGE "$@"     # ends the script unless it has COUNT
#   ensure_packages PACKAGE...
#   debian_source PACKAGE DESTDIR CACHE   # sets DEBIAN_SOURCE_VERSION
#   check_dll DLL SHIPPED [NAME...]

# Ends the calling script with its usage unless it was given COUNT arguments.
expect_arguments() {
    local count=$1 usage=$2
    shift 2
    if [ $# -ne "$count" ]; then
        echo "usage: $0 $usage" >&2
        exit 2
    fi
}

# Runs a command as root, through sudo when not root already.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs those of the given Debian packages that are not installed yet.
ensure_packages() {
    local package missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}" >&2
    as_root apt-get update >&2
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >&2
}

# Ends the calling script unless DLL exports every NAME and needs no DLLs but
# those whose names match the extended regular expression SHIPPED (in any
# case): Windows' own and those that come along with it.
check_dll() {
    local dll=$1 shipped=$2 dump name
    shift 2
    dump=$(x86_64-w64-mingw32-objdump -p "$dll")
    for name in "$@"; do
        grep -Eq "\] $name\$" <<<"$dump" || { echo "$name is not exported" >&2; exit 1; }
    done
    if grep -i 'DLL Name:' <<<"$dump" | grep -viE "$shipped"; then
        echo "$(basename "$dll") needs a DLL that is not shipped" >&2
        exit 1
    fi
}

# Prints the enabled deb822 stanzas of a .sources file as deb-src stanzas,
# keeping every other field (Signed-By above all) as it is.
_deb822_to_deb_src() {
    awk '
        function flush() {
            if (n && types ~ /(^| )deb(-src)?( |$)/ && tolower(enabled) != "no") {
                for (i = 1; i <= n; i++) print lines[i]
                print ""
            }
            n = 0; types = ""; enabled = ""
        }
        /^#/ { next }
        /^[ \t]*$/ { flush(); next }
        tolower($0) ~ /^types:/ { types = $0; sub(/^[^:]*:[ \t]*/, "", types); lines[++n] = "Types: deb-src"; next }
        tolower($0) ~ /^enabled:/ { enabled = $0; sub(/^[^:]*:[ \t]*/, "", enabled) }
        { lines[++n] = $0 }
        END { flush() }
    ' "$1"
}

# Prints the one-line entries of a .list file as "deb-src" entries.
_list_to_deb_src() {
    sed -n 's/^[ \t]*deb\(-src\)\?[ \t]\+/deb-src /p' "$1"
}

# Writes the private apt tree under $1 and prints the options that select it.
_private_apt() {
    local root=$1 file
    mkdir -p "$root/etc/sources.list.d" "$root/state/lists/partial" "$root/cache/archives/partial"
    : >"$root/etc/sources.list.new"
    : >"$root/etc/sources.list.d/deb-src.sources.new"
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] && _list_to_deb_src "$file" >>"$root/etc/sources.list.new"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] && _deb822_to_deb_src "$file" >>"$root/etc/sources.list.d/deb-src.sources.new"
    done
    mv "$root/etc/sources.list.new" "$root/etc/sources.list"
    mv "$root/etc/sources.list.d/deb-src.sources.new" "$root/etc/sources.list.d/deb-src.sources"
    if [ ! -s "$root/etc/sources.list" ] && [ ! -s "$root/etc/sources.list.d/deb-src.sources" ]; then
        echo "debian_source: no deb entries in /etc/apt to make deb-src entries from" >&2
        return 1
    fi
    printf '%s\n' \
        -o "Dir::Etc::SourceList=$root/etc/sources.list" \
        -o "Dir::Etc::SourceParts=$root/etc/sources.list.d" \
        -o "Dir::State=$root/state" \
        -o "Dir::Cache=$root/cache"
}

# Fetches Debian's source package PACKAGE into CACHE/sources (reusing what is
# there) and unpacks it into DESTDIR, which must not exist or must hold an
# earlier unpack by this function. Sets DEBIAN_SOURCE_VERSION.
debian_source() {
    local package=$1 destdir=$2 cache=$3 options apt_opts dsc
    ensure_packages dpkg-dev
    mkdir -p "$cache/sources"
    cache=$(cd "$cache" && pwd)
    # Without its own options apt-get would work on the system's lists.
    options=$(_private_apt "$cache/apt") || return 1
    mapfile -t apt_opts <<<"$options"

    # The lists are fetched once; a package missing from them refreshes them.
    if ! compgen -G "$cache/apt/state/lists/*Sources*" >/dev/null ||
        ! apt-get "${apt_opts[@]}" -qq source --print-uris "$package" >/dev/null 2>&1; then
        apt-get "${apt_opts[@]}" update >&2
    fi
    # The newest version first; a mirror may lack it (a security update not
    # mirrored yet), so the next older one is taken then.
    local version versions
    versions=$(apt-cache "${apt_opts[@]}" showsrc --only-source "$package" 2>/dev/null |
        sed -n 's/^Version:[ \t]*//p' | sort -rV -u)
    dsc=
    for version in $versions; do
        dsc=$(apt-get "${apt_opts[@]}" -qq source --print-uris "$package=$version" |
            sed -n "s/^'[^']*' \([^ ]*\.dsc\) .*/\1/p" | head -n 1)
        # apt-get skips files already downloaded whose checksums match.
        [ -n "$dsc" ] && (cd "$cache/sources" &&
            apt-get "${apt_opts[@]}" source --download-only "$package=$version") >&2 && break
        echo "debian_source: $package $version could not be fetched" >&2
        dsc=
    done
    if [ -z "$dsc" ]; then
        echo "debian_source: no source package $package" >&2
        return 1
    fi

    DEBIAN_SOURCE_VERSION=$(sed -n 's/^Version:[ \t]*//p' "$cache/sources/$dsc" | head -n 1)
    local stamp="$destdir/.debian-source"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$dsc" ]; then
        echo "debian_source: $package $DEBIAN_SOURCE_VERSION already unpacked in $destdir" >&2
        return 0
    fi
    if [ -e "$destdir" ]; then
        if [ ! -f "$stamp" ]; then
            echo "debian_source: $destdir exists and is not an earlier unpack" >&2
            return 1
        fi
        rm -rf "$destdir"
    fi
    mkdir -p "$(dirname "$destdir")"
    dpkg-source -x "$cache/sources/$dsc" "$destdir" >&2
    echo "$dsc" >"$stamp"
}
