#!/usr/bin/env bash
# Fetches Debian's kernel package once and unpacks it into DIR: the kernel
# and its uinput and evdev modules, for the tests that need a real kernel.
set -euo pipefail
dir=$1
[ -f "$dir/vmlinuz" ] && [ -f "$dir/uinput.ko" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
(cd "$work" && apt-get download "$image" >/dev/null)
dpkg-deb -x "$work"/*.deb "$work/unpacked"
mkdir -p "$dir"
cp "$work"/unpacked/boot/vmlinuz-* "$dir/vmlinuz"
find "$work/unpacked/lib/modules" \( -name uinput.ko -o -name evdev.ko \) -exec cp {} "$dir/" \;
