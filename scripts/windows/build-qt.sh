#!/usr/bin/env bash
# Builds Qt 6.4.2 for Windows x64 (Core, Gui, Widgets, Network with the
# Windows system's own TLS, Test, the qwindows plugin) from Debian's qt6-base source with mingw-w64 and Debian's host Qt,
# and installs it into PREFIX. The slow way, 30 to 60 minutes, for when the
# prebuilt Qt is not at hand; source and build tree stay under CACHE, so a
# second run only rebuilds what changed.
#
#   scripts/windows/build-qt.sh CACHE PREFIX
#
# PELVARO_QT_CONFIGURE_ONLY=1 stops after the configure step: a check in a
# minute or two that the source, the toolchain and the host Qt fit together.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=debian-source.sh
source "$here/debian-source.sh"
expect_arguments 2 "CACHE PREFIX" "$@"

ensure_packages qt6-base-dev qt6-base-dev-tools ninja-build cmake dpkg-dev mingw-w64 g++-mingw-w64-x86-64-posix
mkdir -p "$1" "$2"
root=$(cd "$1" && pwd)
prefix=$(cd "$2" && pwd)

debian_source qt6-base "$root/qt/src" "$root"
# The host tools (moc, rcc, uic) must come from the very same Qt release.
source_upstream=${DEBIAN_SOURCE_VERSION%%[+-]*}
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
if [ "${host_version%%[+-]*}" != "$source_upstream" ]; then
    echo "host Qt $host_version does not match the source $DEBIAN_SOURCE_VERSION" >&2
    exit 1
fi

build=$root/qt/build-$DEBIAN_SOURCE_VERSION
# Debian's source lacks wintab and the bundled sqlite, hence no tablet events
# and no sql; directwrite3 cannot link without direct2d. TLS is Windows' own
# (Schannel), so Qt needs no OpenSSL.
cmake -S "$root/qt/src" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/toolchain-mingw64-posix.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_pkg_config=OFF -DFEATURE_sql=OFF -DFEATURE_network=ON -DFEATURE_schannel=ON -DFEATURE_openssl=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=ON \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_freetype=OFF -DFEATURE_jpeg=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_androiddeployqt=OFF >&2

if [ "${PELVARO_QT_CONFIGURE_ONLY:-0}" = 1 ]; then
    echo "configured in $build" >&2
    exit 0
fi
ninja -C "$build" >&2
cmake --install "$build" >&2
echo "$prefix"
