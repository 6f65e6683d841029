#!/usr/bin/env bash
# Installs what Pelvaro needs to build and test on Debian 12, all from Debian's
# packages, then configures and builds it into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake ninja-build g++ pkg-config   # the build
    libgtest-dev libbenchmark-dev      # tests and benchmarks
    clang libclang-rt-14-dev           # libFuzzer for the fuzz targets
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6   # the windows and their images
    qt6-translations-l10n              # German texts of Qt's own dialogs and buttons
    fonts-liberation2                  # a font with the metrics the layouts were drawn for
    libsqlite3-dev libsqlite3-0 sqlite3   # the personnel database, bound at run time; the tool for tests
    libpq-dev postgresql postgresql-client   # the shared personnel table: libpq bound at run time, a server and psql for the tests
    libmosquitto-dev mosquitto mosquitto-clients   # delivery over MQTT; a broker and mosquitto_pub for the tests and benchmarks
    libx11-dev libxtst-dev libxi-dev libxkbcommon-dev libxkbcommon-x11-dev libx11-xcb-dev   # typing keystrokes through XTest
    xvfb xauth xdotool x11-utils x11-xkb-utils xinput   # an X server, real keystrokes and layouts for the tests
    openbox trayer                     # a window manager and a notification area for the tray tests
    libwayland-dev libwayland-bin qt6-wayland   # typing on Wayland; the program as a Wayland client
    sway weston foot wtype             # Wayland compositors with and without virtual keyboards, a client receiving keys, the peer to measure against
    dbus-daemon                        # a session bus of the tests' own for the stand-in desktop portal
    openssl curl                       # certificates for the tests' HTTPS receiver; the peer to measure the webhook against
    kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5 libglib2.0-bin   # KDE's compositor and portal typing for the program, gdbus waiting for them
    mutter xdg-desktop-portal-gnome    # GNOME's compositor and portal, whose consent dialog the tests answer
    qemu-system-x86 busybox-static cpio   # a real kernel with uinput for the uinput tests
    dpkg-dev lintian desktop-file-utils appstream procps   # the Debian package, its checks and its install test
)

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

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELVARO_BENCH=ON -DPELVARO_WERROR=ON
cmake --build build
