#!/usr/bin/env bash
# Builds Pelvaro for Windows x64 on Debian 12 and tests it under wine: installs
# what it needs from Debian's packages, takes Qt for Windows from
# ../shared/windows (or builds it from Debian's qt6-base source), builds
# Sqlite3.dll, OpenSSL, libmosquitto and libpq from Debian's sources and GoogleTest from
# /usr/src/googletest, builds into build-windows/, makes the portable zip and
# the installer there, and runs the Windows tests under wine on a virtual X
# server. What it builds besides Pelvaro is kept in a cache folder
# (PELVARO_WINDOWS_CACHE, by default ~/.cache/pelvaro-windows).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=windows/debian-source.sh
source scripts/windows/debian-source.sh

ensure_packages cmake ninja-build mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n googletest \
    librsvg2-bin icoutils nsis wine wine64 xvfb xauth xdotool x11-utils procps imagemagick sqlite3

# The Linux build first: the Windows tests talk to its reader simulator.
bash scripts/setup.sh --tests

cache=${PELVARO_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pelvaro-windows}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

echo "== Qt for Windows"
shared_qt=../shared/windows/qt6.4.2-mingw64-posix.tar.xz
if [ -f "$shared_qt" ] && (cd "$(dirname "$shared_qt")" &&
    sha256sum --check --status "$(basename "$shared_qt").sha256"); then
    qt=$cache/qt-$(cut -c1-16 "$shared_qt.sha256")
    if [ ! -x "$qt/qt-mingw/bin/qt-cmake" ]; then
        rm -rf "$qt" && mkdir -p "$qt"
        tar -xf "$shared_qt" -C "$qt"
    fi
    qt=$qt/qt-mingw
else
    echo "No prebuilt Qt with a good checksum: building it from Debian's source (30 to 60 minutes)"
    qt=$cache/qt-from-source
    [ -x "$qt/bin/qt-cmake" ] || bash scripts/windows/build-qt.sh "$cache" "$qt" >/dev/null
fi

echo "== Sqlite3.dll from Debian's source"
bash scripts/windows/build-sqlite.sh "$cache" "$cache/sqlite-windows" >/dev/null

echo "== libmosquitto and OpenSSL from Debian's source"
openssl=$(bash scripts/windows/build-openssl.sh "$cache")
bash scripts/windows/build-mosquitto.sh "$cache" "$openssl" "$cache/mosquitto-windows" >/dev/null

echo "== libpq from Debian's source"
libpq=$(bash scripts/windows/build-libpq.sh "$cache")

echo "== GoogleTest for Windows"
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
gtest=$cache/googletest-$gtest_version
if [ ! -f "$gtest/lib/libgtest.a" ]; then
    cmake -S /usr/src/googletest -B "$cache/googletest-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/scripts/windows/toolchain-mingw64-posix.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
    cmake --build "$cache/googletest-build" --target install >/dev/null
fi

echo "== Pelvaro for Windows"
"$qt/bin/qt-cmake" -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/scripts/windows/toolchain-mingw64-posix.cmake" \
    -DPELVARO_WERROR=ON -DPELVARO_SQLITE_WINDOWS_DIR="$cache/sqlite-windows" \
    -DPELVARO_MOSQUITTO_WINDOWS_DIR="$cache/mosquitto-windows" \
    -DPELVARO_PQ_WINDOWS_DIR="$libpq" -DPELVARO_POSTGRES_TEST_SERVER="$PWD/build/bin/postgres_test_server" \
    -DGTest_DIR="$gtest/lib/cmake/GTest" -DPELVARO_READER_SIMULATOR="$PWD/build/bin/pelvaro-reader-sim"
cmake --build build-windows
cmake --build build-windows --target portable-zip installer

echo "== Windows tests under wine"
# A wine prefix of the build's own, made anew for every run before the tests
# look for their cases, which wine would otherwise have to make first. It is
# made on the tests' X server: wine's desktop, started by the first program,
# keeps the display it found, and without one no later program gets a window.
rm -rf build-windows/wine
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" bash -c \
    "build-windows/wine-run.sh cmd.exe /c exit >/dev/null 2>&1 &&
     ctest --test-dir build-windows --output-on-failure -j $(nproc)"
WINEPREFIX=$PWD/build-windows/wine wineserver --kill 2>/dev/null || true

echo "== The installer under wine"
xvfb-run --auto-servernum bash scripts/windows/installer-test.sh

echo "== Windows build passed: build-windows/Pelvaro-*-windows-x64.zip and -setup.exe"
