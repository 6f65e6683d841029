#!/usr/bin/env bash
# Installs what Pelvaro needs on Debian 12 or 13, all from Debian's packages,
# then configures and builds it into build/. Without an argument only what
# building and running the program needs, and the program and its tools;
# with --tests also the test rigs, and the tests and benchmarks besides.
# --no-build installs and stops there.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=debian-release.sh
source scripts/debian-release.sh

with_tests=false
build=true
for argument in "$@"; do
    case "$argument" in
    --tests) with_tests=true ;;
    --no-build) build=false ;;
    *) echo "usage: $0 [--tests] [--no-build]" >&2; exit 2 ;;
    esac
done

packages=(
    cmake ninja-build g++ pkg-config   # the build
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev "$svg_plugins_package"   # the windows and their images
    qt6-translations-l10n              # German texts of Qt's own dialogs and buttons
    "$font_package"                    # a font with the metrics the layouts were drawn for
    libsqlite3-dev libsqlite3-0        # the personnel database, bound at run time
    libpq-dev                          # the shared personnel table: libpq bound at run time
    libmosquitto-dev                   # delivery over MQTT
    libx11-dev libxtst-dev libxi-dev libxkbcommon-dev libxkbcommon-x11-dev libx11-xcb-dev   # typing keystrokes through XTest
    libwayland-dev libwayland-bin qt6-wayland   # typing on Wayland; the program as a Wayland client
    "${release_packages[@]}"
)
test_packages=(
    libgtest-dev libbenchmark-dev      # tests and benchmarks
    python3                            # the layer check and the tests' helper scripts
    clang libclang-rt-dev              # libFuzzer for the fuzz targets, matching the default clang
    sqlite3                            # the tool for the personnel database's tests
    postgresql postgresql-client       # a server and psql for the shared personnel table's tests
    mosquitto mosquitto-clients        # a broker and mosquitto_pub for the tests and benchmarks
    xvfb xauth xdotool x11-utils x11-xkb-utils xinput   # an X server, real keystrokes and layouts for the tests
    openbox trayer                     # a window manager and a notification area for the tray tests
    sway weston foot wtype             # Wayland compositors with and without virtual keyboards, a client receiving keys, the peer to measure against
    dbus-daemon                        # a session bus of the tests' own for the stand-in desktop portal
    openssl curl                       # certificates for the tests' HTTPS receiver; the peer to measure the webhook against
    kwin-wayland kwin-common xdg-desktop-portal xdg-desktop-portal-kde libglib2.0-bin   # KDE's compositor, its plugins (screen casting and libei) and portal typing for the program, gdbus waiting for them
    mutter xdg-desktop-portal-gnome    # GNOME's compositor and portal, whose consent dialog the tests answer
    qemu-system-x86 busybox-static cpio   # a real kernel with uinput for the uinput tests
    dpkg-dev lintian desktop-file-utils appstream procps   # the Debian package, its checks and its install test
    "${release_test_packages[@]}"
)
$with_tests && packages+=("${test_packages[@]}")

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

$build || exit 0

# Without --tests a build/ configured with the tests keeps them: their
# packages are installed already.
if $with_tests; then
    scope=(-DPELVARO_TESTS=ON -DPELVARO_BENCH=ON)
elif grep -qs '^PELVARO_TESTS:BOOL=ON' build/CMakeCache.txt; then
    scope=()
else
    scope=(-DPELVARO_TESTS=OFF -DPELVARO_BENCH=OFF)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELVARO_WERROR=ON "${scope[@]}"
cmake --build build
