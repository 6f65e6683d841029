#!/usr/bin/env bash
# Builds and tests Pelvaro on Debian 13 (Qt 6.8, GCC 14) in a system of its
# own made with debootstrap from this machine's Debian archive: setup.sh there
# installs what it needs; the Debian 13 package is built together with the
# tests, with warnings as errors; then the test suite runs, and the package is
# installed and run. The system with its packages is kept in a cache folder and
# made anew when setup.sh, debian-release.sh or this script change. With
# --prepare only the system is made (CI does that while other stages build).
# Needs root (debootstrap, chroot).
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "debian13.sh makes a system with debootstrap: run it as root" >&2; exit 1; }
case "${1:-}" in
"") prepare_only=false ;;
--prepare) prepare_only=true ;;
*) echo "usage: $0 [--prepare]" >&2; exit 2 ;;
esac

suite=trixie
cache=${PELVARO_DEBIAN13_CACHE:-$HOME/.cache/pelvaro-debian13}
root=$(realpath -m "${PELVARO_DEBIAN13_ROOT:-/var/tmp/pelvaro-debian13}")
ccache_dir=${CCACHE_DIR:-$HOME/.cache/ccache}
key=$(cat scripts/setup.sh scripts/debian-release.sh scripts/debian13.sh | sha256sum | cut -c1-16)
system=$cache/$suite-$key.tar.zst

tools=()
command -v debootstrap >/dev/null || tools+=(debootstrap)
command -v zstd >/dev/null || tools+=(zstd)
if [ ${#tools[@]} -gt 0 ]; then
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${tools[@]}"
fi

started=$SECONDS
stage() { echo "== Debian 13: $* ($((SECONDS - started)) s)"; }

# The archive this machine's own Debian comes from; read, never changed.
debian_mirror() {
    local uris
    uris=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        sed -nE 's/^URIs:[[:space:]]*//p; s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/p' |
        tr ' ' '\n') || true
    grep -m1 -E '/debian/?$' <<<"$uris"
}

mounts=()
mount_system() {
    mkdir -p "$root"/{proc,sys,dev,ccache}
    mount -t proc proc "$root/proc" && mounts+=("$root/proc")
    mount -t sysfs sysfs "$root/sys" && mounts+=("$root/sys")
    mount --bind /dev "$root/dev" && mounts+=("$root/dev")
    mount --bind /dev/pts "$root/dev/pts" && mounts+=("$root/dev/pts")
    mount -t tmpfs shm "$root/dev/shm" && mounts+=("$root/dev/shm")
    if [ -d "$ccache_dir" ]; then mount --bind "$ccache_dir" "$root/ccache" && mounts+=("$root/ccache"); fi
}
# Ends what still runs in the system (its own processes only), then unmounts.
unmount_system() {
    local link pid
    for link in /proc/[0-9]*/root; do
        [ "$(readlink "$link" 2>/dev/null)" = "$root" ] || continue
        pid=${link#/proc/}; pid=${pid%/root}
        kill -KILL "$pid" 2>/dev/null || true
    done
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}"
    done
    mounts=()
}
trap unmount_system EXIT

in_system() { # command line, run by bash in the system's source folder
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        CCACHE_DIR=/ccache CCACHE_BASEDIR=/build \
        CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache \
        bash -euo pipefail -c "cd /build/pelvaro && $1"
}

copy_source() {
    rm -rf "$root/build/pelvaro"
    mkdir -p "$root/build/pelvaro"
    git ls-files -z --cached --others --exclude-standard |
        tar --null --ignore-failed-read -T - -cf - | tar -C "$root/build/pelvaro" -xf -
}

# A system left by an interrupted run may still have mounts in it.
leftovers=$(awk -v r="$root" '$2 == r || index($2, r "/") == 1 {print $2}' /proc/mounts | sort -r)
for mountpoint in $leftovers; do umount -l "$mountpoint"; done

prepared=$root/.pelvaro-system # the key of a system made complete here
if [ "$(cat "$prepared" 2>/dev/null)" = "$key" ]; then
    stage "the system prepared in $root"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    mount_system
else
    rm -rf "$root"
    mkdir -p "$root"
    fresh=0
    if [ -f "$system" ]; then
        stage "the cached system $system"
        zstd -dc "$system" | tar -C "$root" -xf -
    else
        mirror=$(debian_mirror) || { echo "no Debian archive in this machine's apt sources" >&2; exit 1; }
        stage "debootstrap $suite from $mirror"
        debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
            { tail -n 30 "$root.debootstrap.log" >&2; exit 1; }
        rm -f "$root.debootstrap.log"
        echo "deb $mirror $suite main" >"$root/etc/apt/sources.list"
        # Packages' scripts start no servers in the system: the tests start their own.
        printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
        chmod 755 "$root/usr/sbin/policy-rc.d"
        fresh=1
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    mount_system
    copy_source
    if [ "$fresh" = 1 ]; then
        stage "ccache for the builds"
        in_system "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ccache >/dev/null"
    fi
    stage "setup.sh --tests: the build and test dependencies"
    in_system "bash scripts/setup.sh --tests --no-build"
    if [ "$fresh" = 1 ]; then
        stage "the system kept in $cache"
        in_system "apt-get clean"
        mkdir -p "$cache"
        rm -f "$cache"/$suite-*.tar.zst
        tar -C "$root" --one-file-system --exclude=./build --exclude=./ccache -cf - . |
            zstd -q -T0 -3 >"$system.part"
        mv "$system.part" "$system"
    fi
    echo "$key" >"$prepared"
fi
if $prepare_only; then
    stage "prepared"
    exit 0
fi
rm "$prepared" # a used system has the package installed: the next run makes it anew

stage "the source tree copied in"
copy_source

stage "the Debian 13 package built with the tests, warnings as errors"
in_system "bash scripts/package.sh -DPELVARO_WERROR=ON -DPELVARO_TESTS=ON -DPELVARO_BENCH=ON"

stage "the tests"
in_system "ctest --test-dir build-package --output-on-failure -j $(nproc)"

stage "the package installed and run"
in_system "bash scripts/install-test.sh"

mkdir -p build-debian13
cp "$root"/build/pelvaro/build-package/pelvaro_*.deb build-debian13/
stage "passed; the package is in build-debian13/"
