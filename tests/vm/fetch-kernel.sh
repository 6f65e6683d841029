#!/usr/bin/env bash
# Fetches Debian's kernel package once and unpacks it into DIR: the kernel,
# the uinput and evdev modules with the modules they need, uncompressed, and
# DIR/modules naming them in the order they are to be loaded.
set -euo pipefail
dir=$1
[ -f "$dir/vmlinuz" ] && [ -f "$dir/modules" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
(cd "$work" && apt-get download "$image" >/dev/null)
dpkg-deb -x "$work"/*.deb "$work/unpacked"
# Older packages keep the modules in /lib/modules, newer ones in /usr/lib/modules.
tree=$(find "$work/unpacked" -type d -path '*lib/modules/*' -prune -print -quit)
[ -n "$tree" ] || { echo "no modules in $image" >&2; exit 1; }
rm -rf "$dir"
mkdir -p "$dir"
cp "$work"/unpacked/boot/vmlinuz-* "$dir/vmlinuz"

# A module's file may spell its name with - for _, and may be compressed.
uncompressed() {
    case $1 in
    *.xz) xz -dc "$1" ;;
    *.zst) zstd -qdc "$1" ;;
    *.gz) gzip -dc "$1" ;;
    *) cat "$1" ;;
    esac
}
order=()
add() {
    local name=$1 file dependency
    [[ " ${order[*]} " == *" $name "* ]] && return 0
    file=$(find "$tree" \( -name "$name.ko*" -o -name "${name//_/-}.ko*" \) -print -quit)
    if [ -z "$file" ]; then
        grep -q "/${name//_/[-_]}\.ko$" "$tree/modules.builtin" && return 0
        echo "$image has no module $name" >&2
        exit 1
    fi
    uncompressed "$file" > "$dir/$name.ko"
    for dependency in $(tr '\0' '\n' < "$dir/$name.ko" | sed -n 's/^depends=//p' | tr ',' ' '); do
        add "$dependency"
    done
    order+=("$name")
}
add evdev
add uinput
printf '%s\n' "${order[@]}" > "$dir/modules"
